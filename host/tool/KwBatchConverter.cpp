#include "KwBatchConverter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "KwImageFiles.h"
#include "KwInfoReport.h"
#include "KwPaths.h"
#include "KwTemporaryFiles.h"

void KwBatchConverter::CollectInputs(const std::string& path, bool wantJpeg, std::vector<std::string>& files,
                                     KwSkippedFiles& skipped)
{
    if (!KwPaths::IsFolder(path)) {
        files.push_back(path);
        return;
    }
    std::vector<std::string> found;
    for (std::string& child : KwPaths::FilesUnder(path)) {
        const std::string format = KwImageFiles::FormatOf(child);
        if (format.empty())
            ++skipped.NoImage;
        else if (wantJpeg == (format == "jpg"))
            found.push_back(std::move(child));
        else
            ++skipped.OtherKind;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}

bool KwBatchConverter::FolderIgnoresCase(const std::string& folder)
{
    // Asks the file system rather than guessing from the system: Windows and
    // macOS folders usually ignore case, Linux ones usually do not, and a
    // mounted folder may do either.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string probe = KwPaths::Join(folder, ".kwjpeg-case-probe-" + std::to_string(stamp));
    KwTemporaryFiles::Add(probe);
    std::FILE* file = KwPaths::Open(probe, "wb");
    if (!file) {
        KwTemporaryFiles::Forget(probe);
        return false;
    }
    std::fclose(file);
    std::string name = KwPaths::Name(probe);
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    const bool ignoresCase = KwPaths::Exists(KwPaths::Join(folder, name));
    KwImageFiles::DiscardTemporary(probe);
    return ignoresCase;
}

std::vector<KwBatchJob> KwBatchConverter::Plan(const std::vector<std::string>& inputs, const std::string& outDir,
                                               const std::string& format)
{
    const bool ignoresCase = FolderIgnoresCase(outDir);
    std::vector<KwBatchJob> jobs(inputs.size());
    std::unordered_set<std::string> taken;
    taken.reserve(inputs.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        jobs[i].In = inputs[i];
        jobs[i].Out = KwPaths::Join(outDir, KwPaths::Stem(inputs[i]) + "." + format);
        std::string key = jobs[i].Out;
        if (ignoresCase)
            for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (!taken.insert(key).second)
            jobs[i].Error = "another input has the same name; its output " + jobs[i].Out + " would be overwritten";
    }
    return jobs;
}

KwBatchConverter::KwBatchConverter(std::string library, unsigned long long maxPixels, int threads, bool quiet)
    : m_Library(std::move(library)), m_MaxPixels(maxPixels), m_Threads(threads), m_Quiet(quiet)
{
}

size_t KwBatchConverter::Run(std::vector<KwBatchJob>& jobs, KwProgressBar& bar, const Convert& convert)
{
    if (jobs.empty()) return 0;
    const size_t wanted = m_Threads > 0 ? size_t(m_Threads) : std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min(wanted, jobs.size());
    const int total = int(jobs.size());

    std::mutex lock;
    std::vector<int> percent(threads, 0);
    std::vector<std::string> current(threads);
    int finished = 0;
    auto redraw = [&]() {
        int sum = finished * 100;
        std::string label;
        for (size_t t = 0; t < threads; ++t) {
            sum += percent[t];
            if (!current[t].empty()) label = current[t];
        }
        bar.Update(label, sum / total, finished, total);
    };
    // Each file's line as it finishes (under the lock), failures on standard error too.
    auto report = [&](const KwBatchJob& job) {
        bar.Finish();
        if (!job.Error.empty()) {
            std::printf("FAILED  %s: %s\n", job.In.c_str(), job.Error.c_str());
            std::fflush(stdout);
            std::fprintf(stderr, "kwjpeg: %s: %s\n", job.In.c_str(), job.Error.c_str());
        } else if (!m_Quiet) {
            std::printf("ok      %s -> %s%s\n", job.In.c_str(), job.Out.c_str(),
                        job.Damage.empty() ? "" : "  (warning: damaged JPEG data)");
        }
        std::fflush(stdout);
        std::fputs(KwInfoReport::DamageWarning(job.In, job.Damage).c_str(), stderr);
        if (!job.Warning.empty()) std::fprintf(stderr, "kwjpeg: %s: warning: %s\n", job.In.c_str(), job.Warning.c_str());
        std::fflush(stderr);
    };
    // Each worker makes its own filter objects and uses them on its own thread,
    // and registers the attribute class in its own apartment: a class object
    // registered by another thread's apartment does not serve this one.
    std::atomic<size_t> next{0};
    auto worker = [&](size_t id) {
        CoInitialize(nullptr);
        {
            KwToolSession session(m_Library);
            session.SetPixelLimit(m_MaxPixels);
            std::string startError;
            const bool started = session.Start(startError);
            session.SetProgressCallback([&, id](int p) {
                std::lock_guard<std::mutex> guard(lock);
                percent[id] = p;
                redraw();
            });
            for (size_t i; (i = next++) < jobs.size();) {
                KwBatchJob& job = jobs[i];
                {
                    std::lock_guard<std::mutex> guard(lock);
                    current[id] = job.In;
                    percent[id] = 0;
                    redraw();
                }
                if (job.Error.empty() && !started) job.Error = startError;
                if (job.Error.empty()) convert(session, job);
                std::lock_guard<std::mutex> guard(lock);
                ++finished;
                percent[id] = 0;
                current[id].clear();
                report(job);
                redraw();
            }
        }
        CoUninitialize();
    };
    std::vector<std::thread> pool;
    for (size_t t = 0; t < threads; ++t) pool.emplace_back(worker, t);
    for (std::thread& t : pool) t.join();
    bar.Finish();
    return size_t(std::count_if(jobs.begin(), jobs.end(), [](const KwBatchJob& j) { return !j.Error.empty(); }));
}
