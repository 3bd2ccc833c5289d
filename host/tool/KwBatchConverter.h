// Many files converted into one output folder on a pool of threads: the plan
// (an output name for each input; an input whose output name another input
// took fails), a tool session per worker, the progress, and each file's line
// as it finishes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "KwProgressBar.h"
#include "KwToolSession.h"

// The files in folders that a batch leaves out: image files of the kind it
// does not take (JPEG files for --to jpg, the other kinds otherwise), and
// files of no kind the tool reads.
struct KwSkippedFiles {
    size_t OtherKind = 0;
    size_t NoImage = 0;
    size_t Total() const { return OtherKind + NoImage; }
};

struct KwBatchJob {
    std::string In, Out;
    std::string Error;  // why it failed; "" when converted
    std::string Damage; // the filter's word on damaged data; "" when none
    std::string Warning; // what the output could not keep; "" when nothing
};

class KwBatchConverter {
public:
    // Converts job.In to job.Out on the worker's session, filling Error, Damage and Warning.
    using Convert = std::function<void(KwToolSession& session, KwBatchJob& job)>;

    // The files named, and inside folders (recursively, in name order) every
    // file of the input kind: JPEG files, or when `wantJpeg` is false the other
    // image kinds the tool reads. What a folder holds besides is counted in `skipped`.
    static void CollectInputs(const std::string& path, bool wantJpeg, std::vector<std::string>& files,
                              KwSkippedFiles& skipped);
    // A job per input, writing OUTDIR/STEM.FORMAT. Where OUTDIR ignores the
    // case of names, names that differ only in case (of ASCII letters) clash.
    static std::vector<KwBatchJob> Plan(const std::vector<std::string>& inputs, const std::string& outDir,
                                        const std::string& format);

    // threads: 0 for one per core. quiet: only failures are reported.
    KwBatchConverter(std::string library, unsigned long long maxPixels, int threads, bool quiet);

    // Runs the jobs that have not failed yet; the number of jobs that failed.
    // The process's first tool session must have started already.
    size_t Run(std::vector<KwBatchJob>& jobs, KwProgressBar& bar, const Convert& convert);

private:
    // Made a file there and looked for it under its name in capitals.
    static bool FolderIgnoresCase(const std::string& folder);

    std::string m_Library;
    unsigned long long m_MaxPixels;
    int m_Threads;
    bool m_Quiet;
};
