// kwjpeg: the reference host's command-line tool. It opens JPEG files through
// the KwFilter_JPEG load filter and saves images through its save filter,
// finding both in the registry catalogue the way the host engine does.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "KwBatchConverter.h"
#include "KwDiscardRowSink.h"
#include "KwExifBlock.h"
#include "KwFilterCatalog.h"
#include "KwImageFiles.h"
#include "KwInfoReport.h"
#include "KwNetpbmCodec.h"
#include "KwNetpbmReader.h"
#include "KwNetpbmRowWriter.h"
#include "KwOrientation.h"
#include "KwPaths.h"
#include "KwPipeInput.h"
#include "KwProgressBar.h"
#include "KwSampleImage.h"
#include "KwStandardOutput.h"
#include "KwTemporaryFiles.h"
#include "KwToolSession.h"
#include "generated/KwVersion.h"

#ifndef KW_FILTER_LIBRARY_NAME
#define KW_FILTER_LIBRARY_NAME "libKwFilter_JPEG.so"
#endif
#ifndef KW_INSTALL_PLUGINDIR
#define KW_INSTALL_PLUGINDIR "lib/kwfilter"
#endif

namespace {

enum ExitCode { ExitOk = 0, ExitFileFailed = 1, ExitUsage = 2 };

// The host's pixel limit unless --max-pixels names another.
constexpr unsigned long long DefaultMaxPixels = 1ull << 28;

const char UsageText[] =
    "kwjpeg - open and save JPEG files through the KwFilter_JPEG filter\n"
    "\n"
    "Usage:\n"
    "  kwjpeg info [--json] FILE...            load each file and show what the host learned\n"
    "  kwjpeg convert IN OUT                   convert one file (JPEG to .bmp/.ppm/.pgm/.png/.jpg,\n"
    "                                          or .bmp/.ppm/.pgm/.png to .jpg); never onto IN itself\n"
    "  kwjpeg convert IN - --to FORMAT         convert one file to standard output\n"
    "  kwjpeg convert --to FORMAT -o OUTDIR FILE|FOLDER...\n"
    "                                          convert many files on all cores (FORMAT: bmp, ppm,\n"
    "                                          pgm, png or jpg); folders are searched recursively,\n"
    "                                          files of other kinds in them are skipped, and the\n"
    "                                          outputs go flat into OUTDIR, replacing files there\n"
    "  kwjpeg register [LIBRARY]               register the filter library (default: the one\n"
    "                                          built or installed beside this tool)\n"
    "  kwjpeg unregister [LIBRARY]             remove its registration\n"
    "  kwjpeg filters                          list the filters in the catalogue\n"
    "  kwjpeg sample OUT.jpg                   write a colour test pattern JPEG\n"

    "\n"
    "Options:\n"
    "  --json             one JSON object per file and line (info)\n"
    "  --progress         always show progress on standard error (plain lines when it\n"
    "                     is not a terminal)\n"
    "  --quiet, -q        no progress and no chatter\n"
    "  -j N               worker threads for batch conversion (default: all cores)\n"
    "  --max-pixels N     refuse images with more pixels than N (default 268435456)\n"
    "  --keep-orientation write the rows in their stored order; by default a JPEG's\n"
    "                     EXIF orientation is applied, as viewers do\n"
    "  --library PATH     use the filters of this library directly, bypassing the registry\n"
    "  --help, -h         this text;  --version  the version\n"
    "  --                 ends the options: what follows are paths, even if they start with -\n"
    "\n"
    "A FILE or IN of - is standard input, an OUT of - standard output (with --to FORMAT);\n"
    "a pipe is read whole into memory, up to 4 bytes a pixel of --max-pixels (1 GB by\n"
    "default). A file whose extension is none of the above is opened as a JPEG when its\n"
    "content is one (.jpe, .jif, no extension, /dev/stdin), and convert takes PNG, BMP,\n"
    "PPM and PGM by their content too; ./- names a file called -. Every input above\n"
    "--max-pixels is refused at its header; transparency in PNG and BMP is put on white.\n"
    "The registry is the file named by $KWPLATFORM_REGISTRY (now: %s).\n"
    "A damaged JPEG file is converted as far as it decodes, with a warning.\n"
    "The colour profile goes along into PNG and JPEG; BMP, PPM and PGM files are written\n"
    "without it, with a warning. JPEG to JPEG re-encodes the pixels at quality 75 and keeps\n"
    "the EXIF block (Orientation 1 where the orientation was applied to the pixels).\n"
    "Exit status: 0 all went well, 1 a file failed, 2 wrong usage; interrupted, 128 + the\n"
    "signal (130 for Ctrl-C), with the partial files of conversions in flight removed.\n";

// What a bare `kwjpeg` prints, on standard error.
const char ShortUsageText[] =
    "Usage: kwjpeg info [--json] FILE...\n"
    "       kwjpeg convert IN OUT\n"
    "       kwjpeg convert --to FORMAT -o OUTDIR FILE|FOLDER...\n"
    "       kwjpeg register | unregister | filters | sample OUT.jpg\n"
    "Run `kwjpeg --help` for the whole help.\n";

struct Options {
    std::string Command;
    std::vector<std::string> Args;
    bool Json = false;
    bool Progress = false;
    bool Quiet = false;
    bool KeepOrientation = false;
    int Jobs = 0;
    unsigned long long MaxPixels = DefaultMaxPixels;
    std::string Library;
    std::string To;
    std::string OutDir;
};

// The most worker threads -j takes.
constexpr unsigned long long MaxJobs = 1024;

// A whole decimal number from 1 to `max`, and nothing else: no sign, no
// spaces, no junk after it, no overflow.
bool ParseCount(const char* text, unsigned long long max, unsigned long long& value)
{
    if (!text || !*text) return false;
    for (const char* c = text; *c; ++c)
        if (*c < '0' || *c > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno == ERANGE || *end != '\0' || parsed == 0 || parsed > max) return false;
    value = parsed;
    return true;
}

// ", not '3x'" for a usage message; "" when the value is missing.
std::string Given(const char* value) { return value ? std::string(", not '") + value + "'" : std::string(); }

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "kwjpeg: %s\nRun `kwjpeg --help` for the commands.\n", problem.c_str());
    return ExitUsage;
}

bool IsTerminal() { return KwStandardErrorIsTerminal() != FALSE; }

std::string ToolDirectory()
{
    char path[4096];
    DWORD n = KwModuleFileNameUtf8(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".";
    return KwPaths::Folder(std::string(path, n));
}

// The filter library beside the tool: the same folder (the Windows zip), the
// plugin folder of an installation (lib/x86_64-linux-gnu/kwfilter in the
// Debian packages), that of a plain lib folder, or the build tree.
std::string DefaultLibrary()
{
    std::string dir = ToolDirectory();
    const std::string candidates[] = {KW_FILTER_LIBRARY_NAME, "../" KW_INSTALL_PLUGINDIR "/" KW_FILTER_LIBRARY_NAME,
                                      "../lib/kwfilter/" KW_FILTER_LIBRARY_NAME, "../../src/" KW_FILTER_LIBRARY_NAME};
    for (const std::string& c : candidates) {
        const std::string path = KwPaths::Join(dir, c);
        if (KwPaths::Exists(path)) return KwPaths::Resolved(path);
    }
    return std::string();
}

// Why the registry refused a change, in words.
const char* RegistryFailure(LSTATUS status)
{
    switch (status) {
    case ERROR_SUCCESS: return "the library refused";
    case ERROR_ACCESS_DENIED: return "the registry file or its folder is not writable";
    case ERROR_CANTREAD: return "the registry file cannot be read";
    case ERROR_CANTWRITE: return "the registry file cannot be written (is the disk full?)";
    case ERROR_FILE_TOO_LARGE: return "the registry file is larger than 64 MB";
    case ERROR_REGISTRY_CORRUPT: return "the registry file is damaged, and a damaged file is never rewritten";
    case ERROR_TIMEOUT: return "another registration kept the registry locked for 30 seconds";
    case ERROR_STOPPED_ON_SYMLINK:
        return "the lock file beside the registry file (its name ending .lock) is a symbolic link, which is never"
               " followed; remove it";
    default: return "the registry failed";
    }
}

// A damaged registry file is read for the keys it still holds and never
// rewritten, which would lose the rest for good: the user is told once, where,
// and what to do.
void WarnIfRegistryDamaged()
{
    const DWORD line = KwRegistryDamagedLine();
    if (!line) return;
    std::fprintf(stderr,
                 "kwjpeg: warning: the registry file %s is damaged at line %lu; the keys that can be read are used,"
                 " but nothing is written to it until it is fixed, or moved aside (then run `kwjpeg register`"
                 " again)\n",
                 KwRegistryPath(), static_cast<unsigned long>(line));
}

int RunRegistration(const Options& options, bool unregister)
{
    if (options.Args.size() > 1) return Usage("register takes at most one library path");
    std::string library = options.Args.empty() ? DefaultLibrary() : options.Args[0];
    if (library.empty()) {
        std::fprintf(stderr,
                     "kwjpeg: no filter library found beside the tool (looked for %s);"
                     " name it: kwjpeg register PATH\n",
                     KW_FILTER_LIBRARY_NAME);
        return ExitFileFailed;
    }
    library = KwPaths::Resolved(library);
    HMODULE module = KwLoadLibraryUtf8(library.c_str());
    if (!module) {
        std::fprintf(stderr, "kwjpeg: %s: cannot load the library (does it exist and is it a filter library?)\n",
                     library.c_str());
        return ExitFileFailed;
    }
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    typedef HRESULT(STDMETHODCALLTYPE * ServerFn)();
    auto function = reinterpret_cast<ServerFn>(GetProcAddress(module, entry));
    if (!function) {
        std::fprintf(stderr, "kwjpeg: %s: the library has no %s entry point; it is not a COM server\n",
                     library.c_str(), entry);
        FreeLibrary(module);
        return ExitFileFailed;
    }
    // One batch: the registry holds the whole registration or none of it, even
    // when this process is killed half-way or the disk fills.
    LSTATUS batch = KwRegistryBeginBatch();
    HRESULT hr = batch == ERROR_SUCCESS ? function() : HRESULT_FROM_WIN32(batch);
    // The type library is registered last and its removal comes last: when it
    // is not there, the library was not registered, and the removal (of
    // nothing, or of what a broken registration left) stands.
    bool notRegistered = unregister && hr == TYPE_E_REGISTRYACCESS;
    if (batch == ERROR_SUCCESS) {
        const bool commit = SUCCEEDED(hr) || notRegistered;
        batch = KwRegistryEndBatch(commit);
        if (commit && batch != ERROR_SUCCESS) {
            hr = HRESULT_FROM_WIN32(batch);
            notRegistered = false;
        }
    }
    FreeLibrary(module);
    if (hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) {
        std::fprintf(stderr, "kwjpeg: cannot %s %s: the registry is not writable (%s)\n",
                     unregister ? "unregister" : "register", library.c_str(), KwRegistryPath());
        return ExitFileFailed;
    }
    if (notRegistered) {
        if (!options.Quiet)
            std::printf("%s is not registered\n  in the registry %s\n", library.c_str(), KwRegistryPath());
        return ExitOk;
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "kwjpeg: %s: %s failed with %s: %s (registry %s)\n", library.c_str(),
                     entry, KwToolSession::HresultText(hr).c_str(), RegistryFailure(batch), KwRegistryPath());
        return ExitFileFailed;
    }
    if (!options.Quiet)
        std::printf("%s %s\n  in the registry %s\n", unregister ? "unregistered" : "registered", library.c_str(),
                    KwRegistryPath());
    return ExitOk;
}

int RunFilters(const Options&)
{
    std::vector<KwCatalogEntry> entries = KwFilterCatalog::Read();
    std::printf("Filter catalogue HKLM\\%s in %s\n", KwFilterCatalog::KeyPath(), KwRegistryPath());
    if (entries.empty()) {
        std::printf("  (empty: run `kwjpeg register` to register the JPEG filter)\n");
        return ExitOk;
    }
    for (const KwCatalogEntry& e : entries) {
        std::printf("  %s  (%s, version %s)\n", e.Key.c_str(), e.ProgId.c_str(),
                    e.Version.empty() ? "?" : e.Version.c_str());
        if (e.IsLoadFilter()) std::printf("    opens  %s: %s\n", e.Format.c_str(), e.Extensions.c_str());
        if (e.IsSaveFilter())
            std::printf("    saves  %s as .%s (storage type %u, blocks 0x%X, raster 0x%X)\n", e.SaveFormat.c_str(),
                        e.SaveExtension.c_str(), e.StorageType, e.BlockSupport, e.RasterSupport);
    }
    return ExitOk;
}

std::unique_ptr<KwToolSession> StartSession(const Options& options, std::string& error)
{
    std::unique_ptr<KwToolSession> session(new KwToolSession(options.Library));
    session->SetPixelLimit(options.MaxPixels);
    if (!session->Start(error)) return nullptr;
    return session;
}

// Why a load failed: the tool's own reason (no file, no filter), or what the
// tool can tell of the file the filter refused.
std::string LoadFailure(const KwLoadOutcome& outcome)
{
    if (!outcome.Message.empty()) return outcome.Message;
    return outcome.FailedStep + " returned " + KwToolSession::HresultText(outcome.Result);
}

// The filter's word on damaged data: the load stays a success, the person is told.
void WarnDamage(const std::string& file, const std::string& damage)
{
    if (damage.empty()) return;
    std::fputs(KwInfoReport::DamageWarning(file, damage).c_str(), stderr);
    std::fflush(stderr);
}

KwProgressBar MakeProgressBar(const Options& options)
{
    const bool terminal = IsTerminal();
    return KwProgressBar(!options.Quiet && (options.Progress || terminal), terminal);
}

int RunInfo(const Options& options)
{
    if (options.Args.empty()) return Usage("info needs at least one FILE");
    std::string error;
    auto session = StartSession(options, error);
    if (!session) {
        std::fprintf(stderr, "kwjpeg: %s\n", error.c_str());
        return ExitFileFailed;
    }
    Options barOptions = options;
    barOptions.Quiet = options.Quiet || options.Json;
    KwProgressBar bar = MakeProgressBar(barOptions);
    int status = ExitOk;
    int index = 0;
    for (const std::string& path : options.Args) {
        ++index;
        int total = int(options.Args.size());
        const std::string file = KwPipeInput::Named(path);
        session->SetProgressCallback([&](int percent) { bar.Update(file, percent, index - 1, total); });
        // The whole image is decoded, as a host would, but its rows are not kept.
        KwLoadOutcome outcome = session->Load(path, false, std::make_shared<KwDiscardRowSink>());
        bar.Finish();
        if (options.Json)
            std::printf("%s\n", KwInfoReport::Json(file, outcome).c_str());
        else
            std::printf("%s", KwInfoReport::Text(file, outcome).c_str());
        std::fflush(stdout);
        WarnDamage(file, outcome.Damage);
        if (FAILED(outcome.Result)) {
            status = ExitFileFailed;
            std::fprintf(stderr, "kwjpeg: %s: %s\n", file.c_str(), LoadFailure(outcome).c_str());
        }
    }
    return status;
}

// PPM or PGM to JPEG a band of rows at a time, straight from the file into the
// save filter: the tool never holds the whole image.
std::string EncodeNetpbm(KwToolSession& session, const std::string& in, const std::string& out)
{
    KwNetpbmReader reader;
    std::string error;
    std::FILE* piped = session.TakePipe(in);
    if (piped ? !reader.Open(piped, error, session.PixelLimit()) : !reader.Open(in, error, session.PixelLimit()))
        return error;
    KwHostImage image;
    image.Width = reader.Width();
    image.Height = reader.Height();
    image.BitsPerPixel = reader.BitsPerPixel();
    if (reader.Gray())
        for (LONG i = 0; i < 256; ++i) image.Palette.push_back(i | (i << 8) | (i << 16));
    std::string readError;
    const size_t stride = static_cast<size_t>(image.Stride());
    image.RowSource = [&reader, &readError, stride](LONG, LONG count, unsigned char* rows) {
        return reader.ReadRows(rows, stride, count, readError) ? S_OK : E_FAIL;
    };
    if (FAILED(session.Save(image, out, error))) return readError.empty() ? error : readError;
    return std::string();
}

// What a conversion asks beyond its two paths.
struct ConvertSettings {
    bool KeepOrientation = false;
};

// How a conversion went: an error (nothing written), or a success that may
// carry the filter's word on damaged data and what the output could not keep.
struct Converted {
    std::string Error;
    std::string Damage;
    std::string Warning;
};

// Converting a file onto itself would replace it before it was read whole.
bool SameFile(const std::string& in, const std::string& out)
{
    return !KwPipeInput::IsStandardStream(in) && !KwPipeInput::IsStandardStream(out) && KwPaths::SameFile(in, out);
}
std::string SameFileProblem(const std::string& in, const std::string& out)
{
    return in == out ? in + " is both the input and the output; name another output file"
                     : in + " and " + out + " are the same file; name another output file";
}

// Why a load gave no image to write, or empty.
std::string LoadProblem(const KwLoadOutcome& outcome)
{
    if (FAILED(outcome.Result)) return LoadFailure(outcome);
    if (!outcome.HasRaster) return "the filter delivered no pixels";
    return std::string();
}

// The image as a viewer shows it (its EXIF orientation applied), unless the
// stored order is asked for.
bool Orient(KwRasterImage& image, int orientation, const ConvertSettings& settings, std::string& error)
{
    if (settings.KeepOrientation || !KwOrientation::Moves(orientation)) return true;
    KwRasterImage turned;
    if (!KwOrientation::Apply(image, orientation, turned, error)) return false;
    image = std::move(turned);
    return true;
}

// JPEG to PPM or PGM with each band of rows written as the filter delivers it:
// the tool never holds the whole image, unless its orientation turns it (the
// rows arrive in the stored order; the file is then read back and turned).
Converted DecodeToNetpbm(KwToolSession& session, const std::string& in, const std::string& out,
                         const ConvertSettings& settings)
{
    Converted result;
    const std::string temporary = KwImageFiles::TemporaryPathFor(out);
    const bool gray = KwImageFiles::FormatOf(out) == "pgm";
    auto writer = std::make_shared<KwNetpbmRowWriter>(temporary, gray);
    KwLoadOutcome outcome = session.Load(in, false, writer);
    std::string failure;
    if (!writer->Error().empty())
        result.Error = out + ": " + writer->Error();
    else
        result.Error = LoadProblem(outcome);
    if (result.Error.empty() && !writer->Finish(failure)) result.Error = out + ": " + failure;
    writer.reset(); // closes the file
    if (result.Error.empty() && !settings.KeepOrientation && KwOrientation::Moves(outcome.Orientation)) {
        KwRasterImage image;
        if (!KwNetpbmCodec::Read(temporary, image, failure) || !Orient(image, outcome.Orientation, settings, failure) ||
            !KwNetpbmCodec::Write(temporary, image, gray, failure))
            result.Error = out + ": " + failure;
    }
    if (!result.Error.empty()) {
        KwImageFiles::DiscardTemporary(temporary);
        return result;
    }
    if (!KwImageFiles::CommitTemporary(temporary, out, failure)) {
        result.Error = out + ": " + failure;
        return result;
    }
    result.Damage = outcome.Damage;
    if (!outcome.IccProfile.empty()) result.Warning = KwImageFiles::ProfileDropped(gray ? "pgm" : "ppm");
    return result;
}

// One conversion, JPEG to image or image to JPEG.
Converted ConvertOne(KwToolSession& session, const std::string& in, const std::string& out,
                     const ConvertSettings& settings)
{
    Converted result;
    std::string& error = result.Error;
    std::string outFormat = KwImageFiles::FormatOf(out);
    if (outFormat.empty()) {
        error = "unknown output format for " + out + " (use .bmp, .ppm, .pgm, .png or .jpg)";
        return result;
    }
    if (SameFile(in, out)) {
        error = SameFileProblem(in, out);
        return result;
    }
    const std::string inFormat = session.InputFormat(in, error);
    if (inFormat.empty()) return result;
    if (outFormat == "jpg" && (inFormat == "ppm" || inFormat == "pgm")) {
        error = EncodeNetpbm(session, in, out);
        return result;
    }
    if (inFormat == "jpg" && (outFormat == "ppm" || outFormat == "pgm")) return DecodeToNetpbm(session, in, out, settings);
    KwRasterImage image;
    if (inFormat == "jpg") {
        KwLoadOutcome outcome = session.Load(in, true);
        error = LoadProblem(outcome);
        if (!error.empty()) return result;
        image = std::move(outcome.Image);
        image.DpiX = outcome.DpiX;
        image.DpiY = outcome.DpiY;
        if (!Orient(image, outcome.Orientation, settings, error)) return result;
        result.Damage = outcome.Damage;
        image.IccProfile = std::move(outcome.IccProfile);
        if (outFormat == "jpg") {
            image.Exif = std::move(outcome.Exif);
            // The pixels stand upright now: the kept block must not have them turned again.
            if (!settings.KeepOrientation && KwOrientation::Moves(outcome.Orientation)) KwExifBlock::SetUpright(image.Exif);
        }
    } else if (!KwImageFiles::Read(in, image, error, session.PixelLimit(), inFormat, session.TakePipe(in))) {
        return result;
    }
    if (outFormat == "jpg") {
        session.Save(std::move(image), out, error);
        return result;
    }
    if (!KwImageFiles::Write(out, image, error, &result.Warning)) error = out + ": " + error;
    return result;
}

// "3 skipped (2 JPEG files, which --to jpg does not take; 1 of no image kind)".
std::string Skipped(const KwSkippedFiles& skipped, const std::string& format)
{
    auto files = [](size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); };
    std::string why;
    if (skipped.OtherKind)
        why = format == "jpg" ? files(skipped.OtherKind) + " already JPEG, which --to jpg does not take from a folder"
                              : files(skipped.OtherKind) + " not JPEG, which only --to jpg takes";
    if (skipped.NoImage)
        why += (why.empty() ? "" : "; ") + files(skipped.NoImage) + " of no image kind the tool reads";
    return std::to_string(skipped.Total()) + " skipped (" + why + ")";
}

int RunBatchConvert(const Options& options)
{
    std::string format = options.To;
    for (char& c : format) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (format == "jpeg") format = "jpg";
    if (format != "bmp" && format != "ppm" && format != "pgm" && format != "png" && format != "jpg")
        return Usage("--to takes bmp, ppm, pgm, png or jpg, not '" + options.To + "'");
    if (options.OutDir.empty()) return Usage("batch conversion needs -o OUTDIR");
    if (options.Args.empty()) return Usage("convert needs input files or folders");
    for (const std::string& a : options.Args)
        if (KwPipeInput::IsStandardStream(a))
            return Usage("a batch takes files and folders; standard input converts on its own (convert - OUT)");
    std::error_code made;
    KwPaths::MakeFolders(options.OutDir, made);
    if (made) {
        std::fprintf(stderr, "kwjpeg: %s: cannot create the output folder: %s\n", options.OutDir.c_str(),
                     made.message().c_str());
        return ExitFileFailed;
    }

    std::vector<std::string> inputs;
    KwSkippedFiles skipped;
    for (const std::string& a : options.Args) KwBatchConverter::CollectInputs(a, format != "jpg", inputs, skipped);
    if (inputs.empty()) {
        std::fprintf(stderr, "kwjpeg: no files to convert in the paths given: %s\n",
                     skipped.Total() ? Skipped(skipped, format).c_str() : "the folders hold no files");
        return ExitFileFailed;
    }
    std::vector<KwBatchJob> jobs = KwBatchConverter::Plan(inputs, options.OutDir, format);

    // The engine on this thread makes the attribute class reachable for the workers.
    std::string error;
    auto mainSession = StartSession(options, error);
    if (!mainSession) {
        std::fprintf(stderr, "kwjpeg: %s\n", error.c_str());
        return ExitFileFailed;
    }
    ConvertSettings settings;
    settings.KeepOrientation = options.KeepOrientation;
    KwProgressBar bar = MakeProgressBar(options);
    KwBatchConverter converter(options.Library, options.MaxPixels, options.Jobs, options.Quiet);
    // Each kind of warning once a batch: they say the same of every file.
    std::mutex warnedLock;
    std::set<std::string> warned;
    const size_t failures = converter.Run(jobs, bar, [&](KwToolSession& session, KwBatchJob& job) {
        Converted converted = ConvertOne(session, job.In, job.Out, settings);
        job.Error = std::move(converted.Error);
        job.Damage = std::move(converted.Damage);
        std::lock_guard<std::mutex> guard(warnedLock);
        if (!converted.Warning.empty() && warned.insert(converted.Warning).second) job.Warning = converted.Warning;
    });
    std::printf("%zu converted, %zu failed%s\n", jobs.size() - failures, failures,
                skipped.Total() ? (", " + Skipped(skipped, format)).c_str() : "");
    return failures ? ExitFileFailed : ExitOk;
}

int RunConvert(const Options& options)
{
    const bool toStandardOutput =
        options.Args.size() == 2 && KwPipeInput::IsStandardStream(options.Args[1]) && options.OutDir.empty();
    if (!toStandardOutput && (!options.To.empty() || !options.OutDir.empty())) return RunBatchConvert(options);
    if (options.Args.size() != 2)
        return Usage("convert takes IN and OUT, or --to FORMAT -o OUTDIR followed by files and folders");
    const std::string& in = options.Args[0];
    const std::string name = KwPipeInput::Named(in);
    std::unique_ptr<KwStandardOutput> standardOutput;
    if (toStandardOutput) {
        if (options.To.empty())
            return Usage("an OUT of - (standard output) needs --to FORMAT: bmp, ppm, pgm, png or jpg");
        const std::string format = KwImageFiles::FormatOf("output." + options.To);
        if (format.empty()) return Usage("--to takes bmp, ppm, pgm, png or jpg, not '" + options.To + "'");
        standardOutput.reset(new KwStandardOutput(format));
    }
    const std::string out = standardOutput ? standardOutput->Path() : options.Args[1];
    if (KwImageFiles::FormatOf(out).empty())
        return Usage("unknown output format for " + out + " (use .bmp, .ppm, .pgm, .png or .jpg)");
    if (SameFile(in, out)) return Usage(SameFileProblem(in, out));
    if (!standardOutput && KwPaths::IsFolder(out)) {
        std::fprintf(stderr, "kwjpeg: %s: it is a folder; OUT names the file to write (convert --to FORMAT -o %s"
                             " writes into a folder)\n", out.c_str(), out.c_str());
        return ExitFileFailed;
    }
    std::string error;
    auto session = StartSession(options, error);
    if (!session) {
        std::fprintf(stderr, "kwjpeg: %s\n", error.c_str());
        return ExitFileFailed;
    }
    KwProgressBar bar = MakeProgressBar(options);
    session->SetProgressCallback([&](int percent) { bar.Update(name, percent, 0, 1); });
    ConvertSettings settings;
    settings.KeepOrientation = options.KeepOrientation;
    Converted converted = ConvertOne(*session, in, out, settings);
    bar.Finish();
    if (standardOutput && converted.Error.empty()) standardOutput->Send(converted.Error);
    if (!converted.Error.empty()) {
        // The temporary file stands for standard output: messages say so.
        const std::string shown = "standard output";
        for (size_t at = 0; standardOutput && (at = converted.Error.find(out, at)) != std::string::npos;
             at += shown.size())
            converted.Error.replace(at, out.size(), shown);
        std::fprintf(stderr, "kwjpeg: %s: %s\n", name.c_str(), converted.Error.c_str());
        return ExitFileFailed;
    }
    WarnDamage(name, converted.Damage);
    if (!converted.Warning.empty()) std::fprintf(stderr, "kwjpeg: %s: warning: %s\n", name.c_str(), converted.Warning.c_str());
    if (!options.Quiet && !standardOutput) std::printf("wrote %s\n", out.c_str());
    return ExitOk;
}

int RunSample(const Options& options)
{
    if (options.Args.size() != 1) return Usage("sample takes one output path, e.g. kwjpeg sample sample.jpg");
    const std::string& out = options.Args[0];
    if (!KwImageFiles::IsJpegPath(out)) return Usage("sample writes a JPEG file: name it .jpg, not " + out);
    std::string error;
    const std::string temporary = KwImageFiles::TemporaryPathFor(out);
    if (!KwSampleImage::Write(temporary, 640, 480, error)) {
        KwImageFiles::DiscardTemporary(temporary);
        std::fprintf(stderr, "kwjpeg: %s: %s\n", out.c_str(), error.c_str());
        return ExitFileFailed;
    }
    if (!KwImageFiles::CommitTemporary(temporary, out, error)) {
        std::fprintf(stderr, "kwjpeg: %s: %s\n", out.c_str(), error.c_str());
        return ExitFileFailed;
    }
    return ExitOk;
}

// Ctrl-C, SIGTERM or SIGHUP: the partial files of conversions in flight go, then the process.
void OnInterrupt(int signal)
{
    KwTemporaryFiles::RemoveAllForExit();
    // Not after a progress bar on the same line.
    if (KwProgressBar::LineOpen()) std::fputc('\n', stderr);
    std::fprintf(stderr, "kwjpeg: %s (signal %d); partial files removed\n", signal == 2 ? "interrupted" : "ended",
                 signal);
    std::fflush(stderr);
    std::_Exit(128 + signal);
}

} // namespace

int main(int argc, char** argv)
{
    // The arguments, and every name made from them, are UTF-8 from here on.
    KwUtf8CommandLine(&argc, &argv);
    // Before any thread starts: the watch covers every thread the tool makes.
    KwWatchInterrupts(OnInterrupt);
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            if (!optionsEnded && options.Command.empty() && a == "help") {
                std::printf(UsageText, KwRegistryPath());
                return ExitOk;
            }
            if (options.Command.empty())
                options.Command = a;
            else
                options.Args.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            std::printf(UsageText, KwRegistryPath());
            return ExitOk;
        } else if (a == "--version") {
            std::printf("kwjpeg %s\n", KW_VERSION_TEXT);
            return ExitOk;
        } else if (a == "--json") {
            options.Json = true;
        } else if (a == "--progress") {
            options.Progress = true;
        } else if (a == "--quiet" || a == "-q") {
            options.Quiet = true;
        } else if (a == "--keep-orientation") {
            options.KeepOrientation = true;
        } else if (a == "-j" || a == "--jobs") {
            const char* v = value();
            unsigned long long jobs = 0;
            if (!ParseCount(v, MaxJobs, jobs))
                return Usage("-j takes a whole number of threads from 1 to " + std::to_string(MaxJobs) + Given(v));
            options.Jobs = int(jobs);
        } else if (a == "--max-pixels") {
            const char* v = value();
            if (!ParseCount(v, ~0ull, options.MaxPixels))
                return Usage("--max-pixels takes a whole number of pixels above 0" + Given(v));
        } else if (a == "--library") {
            const char* v = value();
            if (!v) return Usage("--library takes a path");
            options.Library = v;
        } else if (a == "--to") {
            const char* v = value();
            if (!v) return Usage("--to takes a format");
            options.To = v;
        } else if (a == "-o" || a == "--output") {
            const char* v = value();
            if (!v) return Usage("-o takes an output folder");
            options.OutDir = v;
        } else {
            return Usage("unknown option " + a + " (a file whose name starts with '-' goes after --)");
        }
    }
    if (options.Command.empty()) {
        std::fputs(ShortUsageText, stderr);
        return ExitUsage;
    }

    CoInitialize(nullptr);
    for (const char* command : {"info", "convert", "register", "unregister", "filters"})
        if (options.Command == command) WarnIfRegistryDamaged();
    int status;
    if (options.Command == "info")
        status = RunInfo(options);
    else if (options.Command == "convert")
        status = RunConvert(options);
    else if (options.Command == "register")
        status = RunRegistration(options, false);
    else if (options.Command == "unregister")
        status = RunRegistration(options, true);
    else if (options.Command == "filters")
        status = RunFilters(options);
    else if (options.Command == "sample")
        status = RunSample(options);
    else
        status = Usage("unknown command '" + options.Command + "'");
    CoUninitialize();
    return status;
}
