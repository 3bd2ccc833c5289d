#include "KwJsonWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

void KwJsonWriter::Separator()
{
    if (m_needComma) m_out += ',';
    m_needComma = false;
}

void KwJsonWriter::BeginObject()
{
    Separator();
    m_out += '{';
}

void KwJsonWriter::EndObject()
{
    m_out += '}';
    m_needComma = true;
}

void KwJsonWriter::Key(const std::string& name)
{
    Separator();
    String(name);
    m_out += ':';
    m_needComma = false;
}

void KwJsonWriter::String(const std::string& value)
{
    Separator();
    m_out += '"';
    for (unsigned char c : value) {
        switch (c) {
        case '"': m_out += "\\\""; break;
        case '\\': m_out += "\\\\"; break;
        case '\n': m_out += "\\n"; break;
        case '\r': m_out += "\\r"; break;
        case '\t': m_out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                m_out += buf;
            } else {
                m_out += char(c);
            }
        }
    }
    m_out += '"';
    m_needComma = true;
}

void KwJsonWriter::Number(double value)
{
    Separator();
    if (!std::isfinite(value)) {
        m_out += "null";
    } else {
        // The shortest text that reads back as the same double.
        char buf[40];
        for (int precision = 15; precision <= 17; ++precision) {
            std::snprintf(buf, sizeof buf, "%.*g", precision, value);
            if (std::strtod(buf, nullptr) == value) break;
        }
        m_out += buf;
    }
    m_needComma = true;
}

void KwJsonWriter::Integer(long long value)
{
    Separator();
    m_out += std::to_string(value);
    m_needComma = true;
}

void KwJsonWriter::Bool(bool value)
{
    Separator();
    m_out += value ? "true" : "false";
    m_needComma = true;
}

void KwJsonWriter::Null()
{
    Separator();
    m_out += "null";
    m_needComma = true;
}
