// A one-line progress display on standard error, redrawn in place.
#pragma once

#include <string>

class KwProgressBar {
public:
    // enabled: draw at all (a terminal, or forced with --progress).
    explicit KwProgressBar(bool enabled) : m_Enabled(enabled) {}
    ~KwProgressBar() { Finish(); }

    // label: what is being worked on; percent 0..100 of that item;
    // done/total: items finished out of all (total 1 for a single file).
    void Update(const std::string& label, int percent, int done, int total);
    // Clears the line so that ordinary output can follow.
    void Finish();
    bool Enabled() const { return m_Enabled; }

private:
    bool m_Enabled;
    bool m_Drawn = false;
    std::string m_Last;
};
