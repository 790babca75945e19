#pragma once

// A zip archive whose members are stored uncompressed, as a sigrok session file needs nothing
// more: local headers, the data, a central directory and its end record. No zip64, so the
// whole archive stays under 4 GiB (a session of one capture is about half a megabyte).

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

namespace velmoran::interchange {

// CRC-32 as zip uses it (reflected polynomial 0xEDB88320).
uint32_t crc32(const QByteArray& data);

class StoredZip {
public:
    // Adds a member; names are ASCII paths ("metadata", "logic-1-1").
    void add(const std::string& name, const QByteArray& data);
    // The archive so far, closed with its central directory.
    QByteArray finish() const;

private:
    struct Member {
        std::string name;
        uint32_t crc = 0;
        uint32_t size = 0;
        uint32_t offset = 0;
    };
    std::vector<Member> members_;
    QByteArray body_;
};

} // namespace velmoran::interchange
