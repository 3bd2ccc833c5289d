#include "ExifBuilder.h"

#include <cstring>
#include <stdexcept>

ExifBuilder::ExifBuilder(bool motorola) : m_Motorola(motorola) { m_Dirs.emplace_back(); }

int ExifBuilder::AddDirectory()
{
    m_Dirs.emplace_back();
    return static_cast<int>(m_Dirs.size() - 1);
}

ExifBuilder::Bytes ExifBuilder::U16(uint16_t v) const
{
    if (m_Motorola) return {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
    return {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
}

ExifBuilder::Bytes ExifBuilder::U32(uint32_t v) const
{
    Bytes b(4);
    for (int i = 0; i < 4; ++i) {
        const int shift = m_Motorola ? 24 - 8 * i : 8 * i;
        b[i] = static_cast<unsigned char>(v >> shift);
    }
    return b;
}

ExifBuilder& ExifBuilder::AddValue(int dir, uint16_t tag, uint16_t format, uint32_t count, const Bytes& value)
{
    m_Dirs.at(dir).Entries.push_back(Entry{tag, format, count, value, false, 0, -1});
    return *this;
}

ExifBuilder& ExifBuilder::AddRaw(int dir, uint16_t tag, uint16_t format, uint32_t count, uint32_t valueField)
{
    m_Dirs.at(dir).Entries.push_back(Entry{tag, format, count, {}, true, valueField, -1});
    return *this;
}

ExifBuilder& ExifBuilder::AddLink(int dir, uint16_t tag, int child)
{
    m_Dirs.at(dir).Entries.push_back(Entry{tag, Long, 1, {}, false, 0, child});
    return *this;
}

ExifBuilder& ExifBuilder::AddAscii(int dir, uint16_t tag, const std::string& text)
{
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return AddValue(dir, tag, Ascii, static_cast<uint32_t>(b.size()), b);
}

ExifBuilder& ExifBuilder::AddByte(int dir, uint16_t tag, uint8_t value) { return AddValue(dir, tag, Byte, 1, {value}); }

ExifBuilder& ExifBuilder::AddSByte(int dir, uint16_t tag, int8_t value)
{
    return AddValue(dir, tag, SByte, 1, {static_cast<unsigned char>(value)});
}

ExifBuilder& ExifBuilder::AddShort(int dir, uint16_t tag, uint16_t value) { return AddValue(dir, tag, Short, 1, U16(value)); }

ExifBuilder& ExifBuilder::AddSShort(int dir, uint16_t tag, int16_t value)
{
    return AddValue(dir, tag, SShort, 1, U16(static_cast<uint16_t>(value)));
}

ExifBuilder& ExifBuilder::AddLong(int dir, uint16_t tag, uint32_t value) { return AddValue(dir, tag, Long, 1, U32(value)); }

ExifBuilder& ExifBuilder::AddSLong(int dir, uint16_t tag, int32_t value)
{
    return AddValue(dir, tag, SLong, 1, U32(static_cast<uint32_t>(value)));
}

ExifBuilder& ExifBuilder::AddRational(int dir, uint16_t tag, uint32_t numerator, uint32_t denominator)
{
    Bytes b = U32(numerator);
    Bytes d = U32(denominator);
    b.insert(b.end(), d.begin(), d.end());
    return AddValue(dir, tag, Rational, 1, b);
}

ExifBuilder& ExifBuilder::AddSRational(int dir, uint16_t tag, int32_t numerator, int32_t denominator)
{
    Bytes b = U32(static_cast<uint32_t>(numerator));
    Bytes d = U32(static_cast<uint32_t>(denominator));
    b.insert(b.end(), d.begin(), d.end());
    return AddValue(dir, tag, SRational, 1, b);
}

ExifBuilder& ExifBuilder::AddFloat(int dir, uint16_t tag, float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return AddValue(dir, tag, Float, 1, U32(bits));
}

ExifBuilder& ExifBuilder::AddDouble(int dir, uint16_t tag, double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, 8);
    const uint32_t high = static_cast<uint32_t>(bits >> 32), low = static_cast<uint32_t>(bits);
    Bytes b = U32(m_Motorola ? high : low);
    Bytes second = U32(m_Motorola ? low : high);
    b.insert(b.end(), second.begin(), second.end());
    return AddValue(dir, tag, Double, 1, b);
}

ExifBuilder& ExifBuilder::AddUndefined(int dir, uint16_t tag, const Bytes& value)
{
    return AddValue(dir, tag, Undefined, static_cast<uint32_t>(value.size()), value);
}

ExifBuilder& ExifBuilder::SetNext(int dir, int next)
{
    m_Dirs.at(dir).Next = next;
    m_Dirs.at(dir).NextRaw = false;
    return *this;
}

ExifBuilder& ExifBuilder::SetNextRaw(int dir, uint32_t offset)
{
    m_Dirs.at(dir).NextRaw = true;
    m_Dirs.at(dir).NextField = offset;
    return *this;
}

ExifBuilder& ExifBuilder::SetFirstOffset(uint32_t offset)
{
    m_FirstOffset = offset;
    return *this;
}

ExifBuilder& ExifBuilder::SetTrailer(const Bytes& trailer)
{
    m_Trailer = trailer;
    return *this;
}

uint32_t ExifBuilder::DirectorySize(const Directory& d)
{
    uint32_t size = 2 + 12 * static_cast<uint32_t>(d.Entries.size()) + 4;
    for (const Entry& e : d.Entries)
        if (!e.Raw && e.LinkTo < 0 && e.Value.size() > 4) size += static_cast<uint32_t>((e.Value.size() + 1) & ~size_t(1));
    return size;
}

void ExifBuilder::Layout(std::vector<uint32_t>& offsets, uint32_t& end) const
{
    uint32_t at = m_FirstOffset >= 8 && m_FirstOffset <= 0xFFFF ? m_FirstOffset : 8;
    offsets.clear();
    for (const Directory& d : m_Dirs) {
        offsets.push_back(at);
        at += DirectorySize(d);
    }
    end = at;
}

uint32_t ExifBuilder::DirectoryOffset(int dir) const
{
    std::vector<uint32_t> offsets;
    uint32_t end;
    Layout(offsets, end);
    return offsets.at(dir);
}

uint32_t ExifBuilder::TrailerOffset() const
{
    std::vector<uint32_t> offsets;
    uint32_t end;
    Layout(offsets, end);
    return end;
}

ExifBuilder::Bytes ExifBuilder::Tiff() const
{
    std::vector<uint32_t> offsets;
    uint32_t end;
    Layout(offsets, end);

    Bytes out;
    auto append = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    out.push_back(m_Motorola ? 'M' : 'I');
    out.push_back(m_Motorola ? 'M' : 'I');
    append(U16(42));
    append(U32(m_FirstOffset));
    out.resize(offsets.empty() ? 8 : offsets[0], 0);

    for (size_t di = 0; di < m_Dirs.size(); ++di) {
        const Directory& d = m_Dirs[di];
        if (out.size() != offsets[di]) throw std::logic_error("ExifBuilder layout");
        uint32_t data = offsets[di] + 2 + 12 * static_cast<uint32_t>(d.Entries.size()) + 4;
        Bytes dataArea;
        append(U16(static_cast<uint16_t>(d.Entries.size())));
        for (const Entry& e : d.Entries) {
            append(U16(e.Tag));
            append(U16(e.Format));
            append(U32(e.Count));
            if (e.Raw) {
                append(U32(e.RawField));
            } else if (e.LinkTo >= 0) {
                append(U32(offsets.at(e.LinkTo)));
            } else if (e.Value.size() <= 4) {
                Bytes field = e.Value;
                field.resize(4, 0);
                append(field);
            } else {
                append(U32(data + static_cast<uint32_t>(dataArea.size())));
                dataArea.insert(dataArea.end(), e.Value.begin(), e.Value.end());
                if (dataArea.size() & 1) dataArea.push_back(0);
            }
        }
        append(U32(d.NextRaw ? d.NextField : d.Next >= 0 ? offsets.at(d.Next) : 0));
        append(dataArea);
    }
    append(m_Trailer);
    return out;
}

ExifBuilder::Bytes ExifBuilder::Payload() const
{
    Bytes out = {'E', 'x', 'i', 'f', 0, 0};
    Bytes tiff = Tiff();
    out.insert(out.end(), tiff.begin(), tiff.end());
    return out;
}

ExifBuilder::Bytes ExifBuilder::Section(uint8_t code, const Bytes& payload)
{
    if (payload.size() + 2 > 0xFFFF) throw std::length_error("section too long");
    const size_t length = payload.size() + 2;
    Bytes out = {0xFF, code, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
    out.reserve(4 + payload.size()); // also spares GCC 12 a false -Warray-bounds on the insert
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

ExifBuilder::Bytes ExifBuilder::App1(const Bytes& payload) { return Section(0xE1, payload); }

ExifBuilder::Bytes ExifBuilder::MinimalJpeg(const Bytes& sections, uint16_t width, uint16_t height, int components)
{
    Bytes out = {0xFF, 0xD8};
    out.reserve(sections.size() + 512);
    auto append = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    append(sections);

    Bytes dqt(65, 1);
    dqt[0] = 0; // 8-bit table 0
    append(Section(0xDB, dqt));

    Bytes sof = {8, static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
                 static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width),
                 static_cast<unsigned char>(components)};
    for (int c = 0; c < components; ++c) {
        sof.push_back(static_cast<unsigned char>(c + 1));
        sof.push_back(0x11);
        sof.push_back(0);
    }
    append(Section(0xC0, sof));

    Bytes dht(1 + 16 + 1, 0); // DC table 0: one code of length 1 for category 0
    dht[1] = 1;
    append(Section(0xC4, dht));

    Bytes sos = {static_cast<unsigned char>(components)};
    for (int c = 0; c < components; ++c) {
        sos.push_back(static_cast<unsigned char>(c + 1));
        sos.push_back(0);
    }
    sos.push_back(0);
    sos.push_back(63);
    sos.push_back(0);
    append(Section(0xDA, sos));
    append({0x00, 0x00, 0xFF, 0xD9});
    return out;
}

ExifBuilder::Bytes ExifBuilder::InsertAfterSoi(const Bytes& jpeg, const Bytes& sections)
{
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) throw std::invalid_argument("not a JPEG file");
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.reserve(jpeg.size() + sections.size());
    out.insert(out.end(), sections.begin(), sections.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}
