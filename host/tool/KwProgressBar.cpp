#include "KwProgressBar.h"

#include <cstdio>

std::atomic<bool> KwProgressBar::s_LineOpen{false};

void KwProgressBar::Update(const std::string& label, int percent, int done, int total)
{
    if (!m_Enabled) return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    char line[160];
    if (!m_Terminal) {
        const auto now = std::chrono::steady_clock::now();
        if (m_PlainWritten && now - m_LastPlain < PlainInterval) return;
        std::string text = total > 1 ? std::to_string(done) + "/" + std::to_string(total) + "  " + label : label;
        std::snprintf(line, sizeof line, "%3d%%  ", percent);
        text = "kwjpeg: progress " + std::string(line) + text;
        if (text == m_Last) return;
        m_Last = text;
        m_LastPlain = now;
        m_PlainWritten = true;
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
        return;
    }
    const int width = 30;
    int filled = percent * width / 100;
    std::string bar(size_t(filled), '#');
    bar.append(size_t(width - filled), '.');
    std::string name = label;
    if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
    if (total > 1)
        std::snprintf(line, sizeof line, "[%s] %3d%%  %d/%d  %s", bar.c_str(), percent, done, total, name.c_str());
    else
        std::snprintf(line, sizeof line, "[%s] %3d%%  %s", bar.c_str(), percent, name.c_str());
    if (line == m_Last) return;
    m_Last = line;
    std::fprintf(stderr, "\r\033[K%s", line);
    std::fflush(stderr);
    m_Drawn = true;
    s_LineOpen = true;
}

void KwProgressBar::Finish()
{
    if (m_Drawn) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
        m_Drawn = false;
        s_LineOpen = false;
        m_Last.clear();
    }
}
