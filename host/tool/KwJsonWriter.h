// A small writer of one-line JSON objects, for `kwjpeg info --json`.
#pragma once

#include <string>

class KwJsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    void Key(const std::string& name);
    void String(const std::string& value);
    void Number(double value);
    void Integer(long long value);
    void Bool(bool value);
    void Null();
    const std::string& str() const { return m_Out; }

private:
    void Separator();
    std::string m_Out;
    bool m_NeedComma = false;
};
