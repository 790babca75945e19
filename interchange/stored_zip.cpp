#include "interchange/stored_zip.h"

#include <array>

namespace velmoran::interchange {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndOfDirectorySignature = 0x06054b50;
constexpr uint16_t kVersionNeeded = 10; // 1.0: stored members, nothing else
constexpr uint16_t kMethodStored = 0;
// A fixed modification stamp (1980-01-01 00:00, the earliest DOS date) keeps the output
// identical for identical input.
constexpr uint16_t kDosTime = 0;
constexpr uint16_t kDosDate = (0 << 9) | (1 << 5) | 1;

std::array<uint32_t, 256> makeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

void put16(QByteArray& out, uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void put32(QByteArray& out, uint32_t v) {
    put16(out, static_cast<uint16_t>(v & 0xFFFF));
    put16(out, static_cast<uint16_t>(v >> 16));
}

} // namespace

uint32_t crc32(const QByteArray& data) {
    static const std::array<uint32_t, 256> table = makeCrcTable();
    uint32_t c = 0xFFFFFFFFu;
    for (const char ch : data) {
        c = table[(c ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (c >> 8);
    }
    return c ^ 0xFFFFFFFFu;
}

void StoredZip::add(const std::string& name, const QByteArray& data) {
    Member m{name, crc32(data), static_cast<uint32_t>(data.size()),
             static_cast<uint32_t>(body_.size())};
    put32(body_, kLocalHeaderSignature);
    put16(body_, kVersionNeeded);
    put16(body_, 0); // flags
    put16(body_, kMethodStored);
    put16(body_, kDosTime);
    put16(body_, kDosDate);
    put32(body_, m.crc);
    put32(body_, m.size); // compressed size
    put32(body_, m.size); // uncompressed size
    put16(body_, static_cast<uint16_t>(name.size()));
    put16(body_, 0); // extra field length
    body_.append(name.data(), static_cast<qsizetype>(name.size()));
    body_.append(data);
    members_.push_back(std::move(m));
}

QByteArray StoredZip::finish() const {
    QByteArray out = body_;
    const auto directoryOffset = static_cast<uint32_t>(out.size());
    for (const Member& m : members_) {
        put32(out, kCentralHeaderSignature);
        put16(out, kVersionNeeded); // version made by: 1.0, MS-DOS attributes
        put16(out, kVersionNeeded);
        put16(out, 0); // flags
        put16(out, kMethodStored);
        put16(out, kDosTime);
        put16(out, kDosDate);
        put32(out, m.crc);
        put32(out, m.size);
        put32(out, m.size);
        put16(out, static_cast<uint16_t>(m.name.size()));
        put16(out, 0); // extra field length
        put16(out, 0); // comment length
        put16(out, 0); // disk number
        put16(out, 0); // internal attributes
        put32(out, 0); // external attributes
        put32(out, m.offset);
        out.append(m.name.data(), static_cast<qsizetype>(m.name.size()));
    }
    const auto directorySize = static_cast<uint32_t>(out.size()) - directoryOffset;
    put32(out, kEndOfDirectorySignature);
    put16(out, 0); // this disk
    put16(out, 0); // disk with the directory
    put16(out, static_cast<uint16_t>(members_.size()));
    put16(out, static_cast<uint16_t>(members_.size()));
    put32(out, directorySize);
    put32(out, directoryOffset);
    put16(out, 0); // comment length
    return out;
}

} // namespace velmoran::interchange
