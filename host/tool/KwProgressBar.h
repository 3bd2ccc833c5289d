// Progress on standard error: on a terminal one line redrawn in place; into a
// file or a pipe (with --progress) plain lines, a few a second at most, that a
// log can keep.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

class KwProgressBar {
public:
    // enabled: show progress at all (a terminal, or forced with --progress);
    // terminal: standard error is one, so the line may be redrawn.
    KwProgressBar(bool enabled, bool terminal) : m_Enabled(enabled), m_Terminal(terminal) {}
    ~KwProgressBar() { Finish(); }

    // label: what is being worked on; percent 0..100 of that item;
    // done/total: items finished out of all (total 1 for a single file).
    void Update(const std::string& label, int percent, int done, int total);
    // Clears the line so that ordinary output can follow.
    void Finish();
    bool Enabled() const { return m_Enabled; }
    // True while a bar is drawn on the terminal's line without its end: a
    // message that cannot wait for Finish (an interrupt) starts a line first.
    static bool LineOpen() { return s_LineOpen.load(); }

private:
    // The least time between two plain lines.
    static constexpr std::chrono::milliseconds PlainInterval{250};

    bool m_Enabled;
    bool m_Terminal;
    bool m_Drawn = false;
    std::string m_Last;
    std::chrono::steady_clock::time_point m_LastPlain{};
    bool m_PlainWritten = false;
    static std::atomic<bool> s_LineOpen;
};
