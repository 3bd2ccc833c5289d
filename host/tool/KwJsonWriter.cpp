#include "KwJsonWriter.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

void KwJsonWriter::Separator()
{
    if (m_NeedComma) m_Out += ',';
    m_NeedComma = false;
}

void KwJsonWriter::BeginObject()
{
    Separator();
    m_Out += '{';
}

void KwJsonWriter::EndObject()
{
    m_Out += '}';
    m_NeedComma = true;
}

void KwJsonWriter::BeginArray()
{
    Separator();
    m_Out += '[';
}

void KwJsonWriter::EndArray()
{
    m_Out += ']';
    m_NeedComma = true;
}

void KwJsonWriter::Key(const std::string& name)
{
    Separator();
    String(name);
    m_Out += ':';
    m_NeedComma = false;
}

void KwJsonWriter::String(const std::string& value)
{
    Separator();
    m_Out += '"';
    for (unsigned char c : value) {
        switch (c) {
        case '"': m_Out += "\\\""; break;
        case '\\': m_Out += "\\\\"; break;
        case '\n': m_Out += "\\n"; break;
        case '\r': m_Out += "\\r"; break;
        case '\t': m_Out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                m_Out += buf;
            } else {
                m_Out += char(c);
            }
        }
    }
    m_Out += '"';
    m_NeedComma = true;
}

void KwJsonWriter::Number(double value)
{
    Separator();
    if (!std::isfinite(value)) {
        m_Out += "null";
    } else {
        // The shortest text that reads back as the same double.
        char buf[40];
        for (int precision = 15; precision <= 17; ++precision) {
            std::snprintf(buf, sizeof buf, "%.*g", precision, value);
            if (std::strtod(buf, nullptr) == value) break;
        }
        m_Out += buf;
    }
    m_NeedComma = true;
}

void KwJsonWriter::Integer(long long value)
{
    Separator();
    m_Out += std::to_string(value);
    m_NeedComma = true;
}

void KwJsonWriter::Bool(bool value)
{
    Separator();
    m_Out += value ? "true" : "false";
    m_NeedComma = true;
}

void KwJsonWriter::Null()
{
    Separator();
    m_Out += "null";
    m_NeedComma = true;
}
