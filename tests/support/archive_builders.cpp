#include "support/archive_builders.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace ostravex::testing {
namespace {

void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Put64(Bytes& out, std::uint64_t value) {
    Put32(out, static_cast<std::uint32_t>(value));
    Put32(out, static_cast<std::uint32_t>(value >> 32));
}

void PutText(Bytes& out, const std::string& text) {
    out.insert(out.end(), text.begin(), text.end());
}

std::uint32_t Crc32(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size())));
}

Bytes RawDeflate(const Bytes& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

}  // namespace

Bytes ZipBuilder::build() const {
    Bytes out;
    Bytes central;
    for (const Member& m : m_members) {
        Bytes stored = m.storedBytes ? *m.storedBytes : m.method == 8 ? RawDeflate(m.data) : m.data;
        stored.resize(stored.size() - std::min(stored.size(), m.dropLastDataBytes));
        const std::uint64_t offset = out.size();
        const std::uint32_t crc = m.claimedCrc.value_or(Crc32(m.data));
        const std::uint64_t size = m.claimedSize.value_or(m.data.size());
        const std::uint64_t storedSize = stored.size();
        const std::uint16_t flags =
            static_cast<std::uint16_t>(m.flags | (m.dataDescriptor ? 8 : 0));
        // A time stamp field first, as zip writes one, then the ZIP64 field.
        const auto zip64Extra = [](std::initializer_list<std::uint64_t> values) {
            Bytes extra;
            Put16(extra, 0x5455);
            Put16(extra, 5);
            extra.push_back(1);
            Put32(extra, 0x5A210000);
            Put16(extra, 0x0001);
            Put16(extra, static_cast<std::uint32_t>(8 * values.size()));
            for (const std::uint64_t value : values) {
                Put64(extra, value);
            }
            return extra;
        };
        const std::uint64_t localSize = m.dataDescriptor ? 0 : size;
        const std::uint64_t localStored = m.dataDescriptor ? 0 : storedSize;
        const Bytes localExtra = m.zip64Fields ? zip64Extra({localSize, localStored}) : Bytes{};

        Put32(out, m.badLocalSignature ? 0x04034b51 : 0x04034b50);
        Put16(out, m.zip64Fields ? 45 : 20);
        Put16(out, flags);
        Put16(out, m.method);
        Put32(out, 0);
        Put32(out, m.dataDescriptor ? 0 : crc);
        Put32(out, m.zip64Fields ? 0xFFFFFFFF : static_cast<std::uint32_t>(localStored));
        Put32(out, m.zip64Fields ? 0xFFFFFFFF : static_cast<std::uint32_t>(localSize));
        Put16(out, static_cast<std::uint32_t>(m.name.size()));
        Put16(out, static_cast<std::uint32_t>(localExtra.size()));
        PutText(out, m.name);
        out.insert(out.end(), localExtra.begin(), localExtra.end());
        out.insert(out.end(), stored.begin(), stored.end());
        if (m.dataDescriptor) {
            Put32(out, 0x08074b50);
            Put32(out, crc);
            if (m.zip64Fields) {
                Put64(out, storedSize);
                Put64(out, size);
            } else {
                Put32(out, static_cast<std::uint32_t>(storedSize));
                Put32(out, static_cast<std::uint32_t>(size));
            }
        }

        const std::uint64_t centralOffset = m.centralOffset.value_or(offset);
        const Bytes centralExtra =
            m.zip64Fields ? zip64Extra({size, storedSize, centralOffset}) : Bytes{};
        Put32(central, 0x02014b50);
        Put16(central, m.zip64Fields ? 45 : 20);
        Put16(central, m.zip64Fields ? 45 : 20);
        Put16(central, flags);
        Put16(central, m.method);
        Put32(central, 0);
        Put32(central, crc);
        Put32(central, m.zip64Fields ? 0xFFFFFFFF : static_cast<std::uint32_t>(storedSize));
        Put32(central, m.zip64Fields ? 0xFFFFFFFF : static_cast<std::uint32_t>(size));
        Put16(central, static_cast<std::uint32_t>(m.name.size()));
        Put16(central, static_cast<std::uint32_t>(centralExtra.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, !m.name.empty() && m.name.back() == '/' ? 0x10 : 0x20);
        Put32(central, m.zip64Fields ? 0xFFFFFFFF : static_cast<std::uint32_t>(centralOffset));
        PutText(central, m.name);
        central.insert(central.end(), centralExtra.begin(), centralExtra.end());
    }
    if (!m_endRecord) {
        return out;
    }
    const std::uint64_t centralAt = out.size();
    out.insert(out.end(), central.begin(), central.end());
    const auto count = static_cast<std::uint16_t>(m_members.size());
    const std::uint16_t onThisDisk = m_statedEntries ? m_statedEntries->first : count;
    const std::uint16_t total = m_statedEntries ? m_statedEntries->second : count;
    if (m_zip64EndRecord) {
        const std::uint64_t zip64EndAt = out.size();
        Put32(out, 0x06064b50);
        Put64(out, 44);  // the record's size after this field
        Put16(out, 45);
        Put16(out, 45);
        Put32(out, 0);
        Put32(out, 0);
        Put64(out, m_statedEntries ? m_statedEntries->first : m_members.size());
        Put64(out, m_statedEntries ? m_statedEntries->second : m_members.size());
        Put64(out, central.size());
        Put64(out, centralAt);
        Put32(out, 0x07064b50);  // the locator
        Put32(out, 0);
        Put64(out, zip64EndAt);
        Put32(out, 1);
    }
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, m_zip64EndRecord ? 0xFFFF : onThisDisk);
    Put16(out, m_zip64EndRecord ? 0xFFFF : total);
    Put32(out, m_zip64EndRecord ? 0xFFFFFFFF : static_cast<std::uint32_t>(central.size()));
    Put32(out, m_zip64EndRecord ? 0xFFFFFFFF : static_cast<std::uint32_t>(centralAt));
    Put16(out, static_cast<std::uint32_t>(m_commentLength));
    out.insert(out.end(), m_commentLength, 'c');
    return out;
}

RarBuilder& RarBuilder::addUnicode(const std::u16string& name, const Bytes& data) {
    std::string field;
    for (const char16_t unit : name) {
        field.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    field.push_back('\0');
    field.push_back('\0');  // the high byte shared by one-byte codes, unused here
    // Every unit as a two-byte code: four two-bit codes of 2 to a flag byte, the first in
    // its top bits.
    for (std::size_t i = 0; i < name.size(); i += 4) {
        const std::size_t units = std::min<std::size_t>(4, name.size() - i);
        field.push_back(static_cast<char>(0xAA << (2 * (4 - units)) & 0xFF));
        for (std::size_t j = i; j < i + units; ++j) {
            field.push_back(static_cast<char>(name[j] & 0xFF));
            field.push_back(static_cast<char>(name[j] >> 8));
        }
    }
    m_members.push_back({field, data, false, true});
    return *this;
}

Bytes RarBuilder::build() const {
    Bytes out{0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
    const auto block = [&out](const Bytes& fromType, bool damage) {
        std::uint32_t crc = Crc32(fromType) & 0xFFFF;
        if (damage) {
            crc ^= 0x5555;
        }
        Put16(out, crc);
        out.insert(out.end(), fromType.begin(), fromType.end());
    };
    // Main header: type, flags, size, then six reserved bytes.
    Bytes main{0x73};
    Put16(main, 0);
    Put16(main, 13);
    main.insert(main.end(), 6, 0);
    block(main, false);

    for (std::size_t i = 0; i < m_members.size(); ++i) {
        const Member& m = m_members[i];
        Bytes header{0x74};
        // Data follows; folder bits; a name in UTF-16 after the ASCII one.
        Put16(header, 0x8000 | (m.isFolder ? 0x00E0 : 0) | (m.unicode ? 0x0200 : 0));
        Put16(header, static_cast<std::uint32_t>(32 + m.name.size()));
        Put32(header, static_cast<std::uint32_t>(m.data.size()));  // packed size
        Put32(header, static_cast<std::uint32_t>(m.data.size()));  // unpacked size
        header.push_back(2);                                       // made on Windows
        Put32(header, Crc32(m.data));
        Put32(header, 0x5A210000);  // a DOS time stamp
        header.push_back(29);       // version needed
        header.push_back(0x30);     // stored
        Put16(header, static_cast<std::uint32_t>(m.name.size()));
        Put32(header, m.isFolder ? 0x10 : 0x20);
        PutText(header, m.name);
        block(header, m_damaged == i);
        out.insert(out.end(), m.data.begin(), m.data.end());
    }
    Bytes end{0x7B};
    Put16(end, 0x4000);
    Put16(end, 7);
    block(end, false);
    return out;
}

bool MakeSevenZip(const std::string& archive, const std::string& folder,
                  const std::vector<std::string>& paths, const std::string& switches) {
    if (std::system("command -v 7zz >/dev/null 2>&1") != 0) {
        return false;
    }
    std::string command = "cd '" + folder + "' && 7zz a -bd -y " + switches + " '" + archive + "'";
    for (const std::string& path : paths) {
        command += " '" + path + "'";
    }
    command += " >/dev/null";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("7zz failed: " + command);
    }
    return true;
}

}  // namespace ostravex::testing
