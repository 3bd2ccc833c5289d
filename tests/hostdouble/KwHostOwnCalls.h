// Host calls made on this thread while one of these lives are the host's own
// (reading a report back), not a filter's: the call log leaves them out.
#pragma once

class KwHostOwnCalls {
public:
    KwHostOwnCalls() noexcept;
    ~KwHostOwnCalls();
    KwHostOwnCalls(const KwHostOwnCalls&) = delete;
    KwHostOwnCalls& operator=(const KwHostOwnCalls&) = delete;

    static bool Active() noexcept;
};
