#include "archive/zip_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <tuple>

#include "archive/member_sink.h"
#include "support/archive_builders.h"

namespace ostravex {
namespace {

using testing::Bytes;
using testing::TempDir;
using testing::ZipBuilder;

std::uint32_t Crc32(const Bytes& data) {
    return static_cast<std::uint32_t>(crc32_z(0, data.data(), data.size()));
}

Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 7) % 13);
    }
    return bytes;
}

class ZipReaderTest : public ::testing::Test {
  protected:
    std::string write(const Bytes& archive, const std::string& name = "a.zip") {
        const std::string path = dir.file(name);
        testing::WriteFile(path, archive);
        return path;
    }
    TempDir dir;
    ZipReader zip;
};

TEST_F(ZipReaderTest, StoredAndDeflatedMembersComeOutWhole) {
    const Bytes data = Pattern(100000);
    ASSERT_TRUE(
        zip.open(write(ZipBuilder().add("s.nds", data, 0).add("roms/d.gba", data).build())).ok());
    ASSERT_TRUE(zip.isZipFile());
    EXPECT_FALSE(zip.rebuiltFromLocalHeaders());
    ASSERT_EQ(zip.entries().size(), 2u);
    EXPECT_EQ(zip.entries()[1].name(), "roms/d.gba");
    int reports = 0;
    zip.onProgress = [&](std::uint32_t current, std::uint32_t total) {
        EXPECT_LE(current, total);
        ++reports;
    };
    for (const auto& entry : zip.entries()) {
        ByteBuffer out;
        ASSERT_TRUE(zip.appendMemberTo(entry, out).ok());
        EXPECT_EQ(Bytes(out.begin(), out.end()), data);
    }
    EXPECT_GE(reports, 1);
}

// The end record is found after a comment of any length and behind bytes appended to the
// archive, however many; four bytes that spell its signature in those bytes are not taken
// for it. Only an archive whose directory is gone is read from its local headers.
TEST_F(ZipReaderTest, EndRecordIsFoundAfterAnyCommentAndAppendedBytes) {
    // Spells an end record's signature, stating an empty directory at offset 0.
    constexpr std::size_t kEndRecordSize = 22;
    Bytes strayRecord{'P', 'K', 5, 6};
    strayRecord.resize(kEndRecordSize, 0);
    Bytes strayAtTheEnd(4443, 'z');
    std::copy(strayRecord.begin(), strayRecord.end(), strayAtTheEnd.end() - kEndRecordSize);
    struct Row {
        const char* name;
        std::size_t comment;
        Bytes appended;
        bool directoryGone;
    };
    const Row rows[] = {
        {"no comment", 0, {}, false},
        {"comment of 257", 257, {}, false},
        {"comment of 5000", 5000, {}, false},
        {"comment of 65535", 65535, {}, false},
        {"comment of 65535 and 1100 bytes", 65535, Bytes(1100, 'z'), false},
        {"comment of 65535 and 4443 bytes", 65535, Bytes(4443, 'z'), false},
        {"comment of 100 and 200,000 bytes", 100, Bytes(200000, 0), false},
        {"a stray signature in the appended bytes", 65535, strayAtTheEnd, false},
        {"a stray signature and no directory", 0, strayAtTheEnd, true},
        {"no directory", 0, {}, true},
        {"no directory and 4443 bytes", 0, Bytes(4443, 'z'), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ZipBuilder builder;
        builder.add("roms/x: é.nds", Pattern(2000)).add("y.nds", Pattern(1u << 20), 0);
        builder.comment(row.comment);
        if (row.directoryGone) {
            builder.withoutEndRecord();
        }
        Bytes archive = builder.build();
        archive.insert(archive.end(), row.appended.begin(), row.appended.end());
        ZipReader reader;
        ASSERT_TRUE(reader.open(write(archive)).ok());
        EXPECT_TRUE(reader.isZipFile());
        EXPECT_EQ(reader.rebuiltFromLocalHeaders(), row.directoryGone);
        ASSERT_EQ(reader.entries().size(), 2u);
        EXPECT_EQ(reader.entries()[0].name(), "roms/x: é.nds");
        for (const ZipEntry& entry : reader.entries()) {
            ByteBuffer out;
            ASSERT_TRUE(reader.appendMemberTo(entry, out).ok()) << entry.name();
            EXPECT_EQ(out.size(), entry.name() == "y.nds" ? 1u << 20 : 2000u);
        }
    }
}

TEST_F(ZipReaderTest, OpenTellsAZipFromOtherFilesAndMissingOnes) {
    struct Row {
        const char* what;
        const char* name;
        std::optional<Bytes> contents;  // none: the file does not exist
        bool isZip;
    };
    for (const Row& row : {Row{"zero-entry archive", "a.zip", ZipBuilder().build(), true},
                           Row{"text file", "notes.zip", Bytes(5000, 'a'), false},
                           Row{"missing file", "gone.zip", std::nullopt, false}}) {
        SCOPED_TRACE(row.what);
        const std::string path = row.contents ? write(*row.contents, row.name) : dir.file(row.name);
        const Status status = zip.open(path);
        if (row.contents) {
            EXPECT_TRUE(status.ok()) << status.reason();
        } else {
            EXPECT_EQ(status.reason(), "File \"" + path + "\" not found!");
        }
        EXPECT_EQ(zip.isZipFile(), row.isZip);
        EXPECT_TRUE(zip.entries().empty());
    }
}

TEST_F(ZipReaderTest, NamesAreUtf8WithReplacementCharacters) {
    using namespace std::string_literals;
    struct Row {
        std::string stored;
        std::string name;
    };
    const std::vector<Row> rows{
        {"Pok\xC3\xA9mon.nds", "Pok\xC3\xA9mon.nds"},
        {"Pok\xE9mon.nds", "Pok\xEF\xBF\xBDmon.nds"},              // Latin-1: one per byte
        {"cut \xE2\x82.nds", "cut \xEF\xBF\xBD\xEF\xBF\xBD.nds"},  // a sequence cut short
        {"a\0b.nds"s,
         "a\xEF\xBF\xBD"
         "b.nds"},  // no file name holds a NUL
    };
    ZipBuilder builder;
    for (const Row& row : rows) {
        builder.add(row.stored, Pattern(10));
    }
    ASSERT_TRUE(zip.open(write(builder.build())).ok());
    ASSERT_EQ(zip.entries().size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(zip.entries()[i].name(), rows[i].name) << rows[i].stored;
    }
}

TEST_F(ZipReaderTest, MembersThatCannotBeDecompressedAreFailuresAndWriteNothing) {
    using Member = ZipBuilder::Member;
    struct Row {
        Member member;
        std::string reason;
    };
    const Bytes data = Pattern(50000);
    const std::uint32_t crcOfFirst40000 = Crc32(Bytes(data.begin(), data.begin() + 40000));
    for (const Row& row : {
             Row{Member("m12.nds", data, 12), "Cannot process this file: m12.nds "},
             Row{Member("enc.nds", data).encrypted(), "Cannot process this file: enc.nds "},
             Row{Member("short.nds", data).claiming(60000),
                 "the data inflates to fewer bytes than stated"},
             Row{Member("cut.nds", data, 0).cutShort(10), "the stored data is shorter than stated"},
             Row{Member("huge.nds", data).claiming(0x7FFFFFFF),
                 "the member claims more than 1 GiB"},
             Row{Member("local.nds", data).withBadLocalSignature(), "bad local header"},
             Row{Member("crc.nds", data, 0).claimingCrc(0x12345678),
                 "the data does not match its CRC-32"},
             Row{Member("crc.gba", data).claimingCrc(0x12345678),
                 "the data does not match its CRC-32"},
             Row{Member("empty.nds", {}, 0).claimingCrc(1), "the data does not match its CRC-32"},
             // The first 40,000 bytes, with their CRC-32, of a stream that holds more.
             Row{Member("long.nds", data).claiming(40000).claimingCrc(crcOfFirst40000),
                 "the data inflates to more bytes than stated"},
             // More than 4 GiB in a ZIP64 field (its low 32 bits, 1 GiB + 1 MiB, in a plain one).
             Row{Member("huge64.nds", data).claiming((5ull << 30) + (1u << 20)),
                 "the member claims more than 1 GiB"},
         }) {
        // The same checks hold for members written with ZIP64 fields.
        for (const bool zip64 : {false, true}) {
            Member member = row.member;
            if (zip64) {
                member.zip64();
            }
            const std::string what = row.member.name + (zip64 ? " (ZIP64)" : "");
            ZipReader reader;
            ASSERT_TRUE(reader.open(write(ZipBuilder().add(member).build())).ok()) << what;
            ASSERT_EQ(reader.entries().size(), 1u) << what;
            ByteBuffer out{1, 2, 3};
            const Status status = reader.appendMemberTo(reader.entries()[0], out);
            EXPECT_EQ(status.reason(), row.reason) << what;
            EXPECT_EQ(out.size(), 3u) << what;
        }
    }
}

TEST_F(ZipReaderTest, CorruptDeflateDataIsZlibsError) {
    ZipBuilder::Member member("bad.nds", Pattern(50000));
    Bytes archive = ZipBuilder().add(member).build();
    for (std::size_t i = 40; i < 60; ++i) {
        archive[i] = 0xFF;  // inside the deflate stream
    }
    ASSERT_TRUE(zip.open(write(archive)).ok());
    ByteBuffer out;
    EXPECT_FALSE(zip.appendMemberTo(zip.entries()[0], out).ok());
    EXPECT_TRUE(out.empty());
}

TEST_F(ZipReaderTest, AStoredMemberWithAFlippedByteFailsItsCrc) {
    Bytes archive = ZipBuilder().add("a.nds", Pattern(5000), 0).build();
    archive[30 + 5 + 2500] ^= 0x01;  // inside the stored data, after the local header and name
    ASSERT_TRUE(zip.open(write(archive)).ok());
    ByteBuffer out;
    EXPECT_EQ(zip.appendMemberTo(zip.entries()[0], out).reason(),
              "the data does not match its CRC-32");
    EXPECT_TRUE(out.empty());
}

TEST_F(ZipReaderTest, TheEntryCountIsTheOneOfThisDisk) {
    struct Row {
        std::uint16_t onThisDisk;
        std::uint16_t total;
    };
    for (const Row& row : {Row{2, 7}, Row{1, 2}}) {
        ZipReader reader;
        ASSERT_TRUE(reader
                        .open(write(ZipBuilder()
                                        .add("a.nds", Pattern(100))
                                        .add("b.nds", Pattern(200))
                                        .statingEntries(row.onThisDisk, row.total)
                                        .build()))
                        .ok());
        EXPECT_TRUE(reader.isZipFile()) << row.total;
        EXPECT_EQ(reader.entries().size(), row.onThisDisk) << row.total;
    }
}

TEST_F(ZipReaderTest, ArchivesWhoseEntriesOverlapAreRefused) {
    using Member = ZipBuilder::Member;
    // A whole archive holding b.nds, quoted as the stored data of a.nds: b.nds's local
    // record then lies inside a.nds's data, as in the zip bombs that quote one deflate
    // stream from many entries.
    const Bytes quoted = ZipBuilder().add("b.nds", Pattern(300), 0).build();
    const std::uint32_t aData = 30 + 5;  // after a.nds's local header and name
    struct Row {
        const char* name;
        Bytes archive;
    };
    for (const Row& row : {
             Row{"two entries of one local record",
                 ZipBuilder()
                     .add("a.nds", Pattern(300))
                     .add(Member("b.nds", Pattern(300)).localHeaderAt(0))
                     .build()},
             Row{"an entry inside another's data",
                 ZipBuilder()
                     .add("a.nds", quoted, 0)
                     .add(Member("b.nds", Pattern(300), 0).localHeaderAt(aData))
                     .build()},
             Row{"two entries of one local record, the second's offset in its ZIP64 field",
                 ZipBuilder()
                     .add("a.nds", Pattern(300))
                     .add(Member("b.nds", Pattern(300)).localHeaderAt(0).zip64())
                     .zip64EndRecord()
                     .build()},
             Row{"an entry inside another's data of a ZIP64 size",
                 ZipBuilder()
                     .add(Member("a.nds", quoted, 0).zip64())
                     .add(Member("b.nds", Pattern(300), 0).localHeaderAt(aData + 29).zip64())
                     .zip64EndRecord()
                     .build()},
         }) {
        ZipReader reader;
        EXPECT_EQ(reader.open(write(row.archive)).reason(), "overlapping entries") << row.name;
        EXPECT_FALSE(reader.isZipFile()) << row.name;
        EXPECT_TRUE(reader.entries().empty()) << row.name;
    }
}

TEST_F(ZipReaderTest, RebuildFollowsDataDescriptors) {
    const Bytes archive = ZipBuilder()
                              .add(ZipBuilder::Member("a.nds", Pattern(3000)).withDataDescriptor())
                              .add("b.gba", Pattern(500))
                              .withoutEndRecord()
                              .build();
    ASSERT_TRUE(zip.open(write(archive)).ok());
    ASSERT_EQ(zip.entries().size(), 2u);
    EXPECT_TRUE(zip.rebuiltFromLocalHeaders());
    ByteBuffer out;
    ASSERT_TRUE(zip.appendMemberTo(zip.entries()[0], out).ok());
    EXPECT_EQ(Bytes(out.begin(), out.end()), Pattern(3000));
}

// ZIP64 archives written by other programs: zip with -fz (ZIP64 fields and end records for
// any size), Python's zipfile with force_zip64 (ZIP64 fields in the local headers only).
TEST_F(ZipReaderTest, Zip64ArchivesOfOtherWritersAreRead) {
    const std::string folder = dir.subfolder("members");
    struct Member {
        std::string name;
        Bytes data;
    };
    const std::vector<Member> members = {
        {"Mario Kart: Ds (Europe).nds", Pattern(3 << 20)},
        {"Pok\xC3\xA9mon \xE2\x80\x93 Smaragd.gba", Pattern(1 << 20)},
        {"empty.nds", {}},
    };
    std::string names;
    for (const Member& m : members) {
        testing::WriteFile(folder + m.name, m.data);
        names += " '" + m.name + "'";
    }
    const auto python = [&names](const std::string& method) {
        return "python3 -c \"import sys, zipfile\n"
               "with zipfile.ZipFile('../out.zip', 'w', zipfile." +
               method +
               ") as z:\n"
               "    for name in sys.argv[1:]:\n"
               "        with open(name, 'rb') as f, z.open(name, 'w', force_zip64=True) as m:\n"
               "            m.write(f.read())\n\"" +
               names;
    };
    struct Row {
        const char* writer;
        const char* tool;
        std::string command;  // run in the members' folder, writes ../out.zip
    };
    for (const Row& row : {Row{"zip -fz", "zip", "zip -q -fz ../out.zip" + names},
                           Row{"zip -fz -0", "zip", "zip -q -fz -0 ../out.zip" + names},
                           Row{"zipfile, deflated", "python3", python("ZIP_DEFLATED")},
                           Row{"zipfile, stored", "python3", python("ZIP_STORED")}}) {
        SCOPED_TRACE(row.writer);
        if (std::system(("command -v " + std::string(row.tool) + " >/dev/null").c_str()) != 0) {
            GTEST_SKIP() << row.tool << " is not installed";
        }
        std::remove(dir.file("out.zip").c_str());
        ASSERT_EQ(std::system(("cd '" + folder + "' && " + row.command).c_str()), 0);
        ZipReader reader;
        ASSERT_TRUE(reader.open(dir.file("out.zip")).ok());
        ASSERT_TRUE(reader.isZipFile());
        EXPECT_FALSE(reader.rebuiltFromLocalHeaders());
        ASSERT_EQ(reader.entries().size(), members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            const ZipEntry& entry = reader.entries()[i];
            EXPECT_EQ(entry.name(), members[i].name);
            ByteBuffer out;
            ASSERT_TRUE(reader.appendMemberTo(entry, out).ok()) << members[i].name;
            EXPECT_TRUE(Bytes(out.begin(), out.end()) == members[i].data) << members[i].name;
        }
    }
}

TEST_F(ZipReaderTest, Zip64FieldsAndEndRecordsAreRead) {
    using Member = ZipBuilder::Member;
    const Bytes nds = Pattern(70000);
    const Bytes gba = Pattern(3000);
    struct Row {
        const char* layout;
        ZipBuilder builder;
        bool badEntries;
    };
    for (Row& row : std::vector<Row>{
             {"ZIP64 fields and end record",
              ZipBuilder()
                  .add(Member("a.nds", nds).zip64())
                  .add(Member("b.gba", gba, 0).zip64())
                  .zip64EndRecord(),
              false},
             {"ZIP64 end record only",
              ZipBuilder().add("a.nds", nds).add("b.gba", gba, 0).zip64EndRecord(), false},
             {"ZIP64 fields only",
              ZipBuilder().add(Member("a.nds", nds).zip64()).add(Member("b.gba", gba, 0).zip64()),
              false},
             {"ZIP64 data descriptors, no end record",
              ZipBuilder()
                  .add(Member("a.nds", nds).zip64().withDataDescriptor())
                  .add(Member("b.gba", gba, 0).zip64().withDataDescriptor())
                  .withoutEndRecord(),
              true},
             {"ZIP64 local headers, no end record",
              ZipBuilder()
                  .add(Member("a.nds", nds).zip64())
                  .add(Member("b.gba", gba, 0).zip64())
                  .withoutEndRecord(),
              true},
         }) {
        SCOPED_TRACE(row.layout);
        ZipReader reader;
        ASSERT_TRUE(reader.open(write(row.builder.build())).ok());
        ASSERT_TRUE(reader.isZipFile());
        EXPECT_EQ(reader.rebuiltFromLocalHeaders(), row.badEntries);
        ASSERT_EQ(reader.entries().size(), 2u);
        EXPECT_EQ(reader.entries()[1].name(), "b.gba");
        EXPECT_EQ(reader.entries()[0].record.UncompressedSize, nds.size());
        ByteBuffer out;
        ASSERT_TRUE(reader.appendMemberTo(reader.entries()[0], out).ok());
        ASSERT_TRUE(reader.appendMemberTo(reader.entries()[1], out).ok());
        Bytes both = nds;
        both.insert(both.end(), gba.begin(), gba.end());
        EXPECT_TRUE(Bytes(out.begin(), out.end()) == both);
    }
}

TEST_F(ZipReaderTest, Zip64ValuesThatAreMissingLeaveNoDirectory) {
    Bytes escapedWithoutField = ZipBuilder().add("a.nds", Pattern(100), 0).build();
    // The central record's uncompressed size (after its 30 + 5 + 100 bytes of local
    // record) made 0xFFFFFFFF, with no ZIP64 field to give the value.
    std::fill_n(escapedWithoutField.begin() + 135 + 24, 4, 0xFF);
    Bytes locatorPointingNowhere = ZipBuilder().add("a.nds", Pattern(100)).zip64EndRecord().build();
    locatorPointingNowhere[locatorPointingNowhere.size() - 22 - 20 + 8] += 1;
    for (const auto& [what, archive] :
         {std::pair{"an escaped size without its ZIP64 field", escapedWithoutField},
          std::pair{"a ZIP64 locator pointing beside its record", locatorPointingNowhere}}) {
        ZipReader reader;
        EXPECT_TRUE(reader.open(write(archive)).ok()) << what;
        EXPECT_FALSE(reader.isZipFile()) << what;
        EXPECT_TRUE(reader.entries().empty()) << what;
    }
}

// More than 65,535 entries: a writer without ZIP64 states their number modulo 65,536 (here
// 1), one with ZIP64 states 0xFFFF in the end record and the number in the ZIP64 one.
TEST_F(ZipReaderTest, ArchivesOfMoreThan65535EntriesAreReadWhole) {
    constexpr std::size_t kEntries = 65537;
    for (const bool zip64 : {false, true}) {
        SCOPED_TRACE(zip64 ? "ZIP64 end record" : "count modulo 65,536");
        ZipBuilder builder;
        for (std::size_t i = 0; i < kEntries; ++i) {
            builder.add("r" + std::to_string(i) + ".gba",
                        Bytes{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)}, 0);
        }
        if (zip64) {
            builder.zip64EndRecord();
        }
        ASSERT_TRUE(zip.open(write(builder.build())).ok());
        ASSERT_EQ(zip.entries().size(), kEntries);
        EXPECT_FALSE(zip.rebuiltFromLocalHeaders());
        const ZipEntry& last = zip.entries().back();
        EXPECT_EQ(last.name(), "r65536.gba");
        ByteBuffer out;
        ASSERT_TRUE(zip.appendMemberTo(last, out).ok());
        EXPECT_EQ(Bytes(out.begin(), out.end()), (Bytes{0x00, 0x00}));
    }
}

void Put(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

Bytes RawDeflate(const Bytes& data) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, data.size()));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// The CRC-32 of `size` zero bytes, `size` a multiple of 1 MiB.
std::uint32_t CrcOfZeros(std::uint64_t size) {
    const Bytes mebibyte(1 << 20, 0);
    const uLong block = crc32_z(0, mebibyte.data(), mebibyte.size());
    uLong crc = crc32_z(0, nullptr, 0);
    for (std::uint64_t done = 0; done < size; done += mebibyte.size()) {
        crc = crc32_combine64(crc, block, static_cast<z_off64_t>(mebibyte.size()));
    }
    return static_cast<uint32_t>(crc);
}

// An archive of more than 4 GiB, written sparse: a stored member of 4 GiB + 1 MiB of zeros
// whose data is a hole, then a deflated member whose local header lies past 4 GiB. Every
// record that needs them has ZIP64 fields; each central record escapes only its own
// oversized fields, so the ZIP64 field of the second holds the offset alone.
struct SparseZip64 {
    static constexpr std::uint64_t kBigSize = (4ull << 30) + (1u << 20);
    std::uint64_t afterAt = 0;  // where the second member's local header is
    Bytes afterData = Pattern(5000);

    void write(const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const auto writeAt = [fd](std::uint64_t offset, const Bytes& bytes) {
            ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
                      static_cast<ssize_t>(bytes.size()));
        };
        const std::uint32_t bigCrc = CrcOfZeros(kBigSize);
        Bytes big;
        Put(big, 0x04034b50, 4);
        Put(big, 45, 2);
        Put(big, 0, 2);
        Put(big, 0, 2);  // stored
        Put(big, 0, 4);
        Put(big, bigCrc, 4);
        Put(big, 0xFFFFFFFF, 4);
        Put(big, 0xFFFFFFFF, 4);
        Put(big, 7, 2);
        Put(big, 20, 2);
        big.insert(big.end(), {'b', 'i', 'g', '.', 'n', 'd', 's'});
        Put(big, 0x0001, 2);
        Put(big, 16, 2);
        Put(big, kBigSize, 8);
        Put(big, kBigSize, 8);
        writeAt(0, big);
        afterAt = big.size() + kBigSize;

        const Bytes deflated = RawDeflate(afterData);
        Bytes after;
        Put(after, 0x04034b50, 4);
        Put(after, 20, 2);
        Put(after, 0, 2);
        Put(after, 8, 2);
        Put(after, 0, 4);
        Put(after, Crc32(afterData), 4);
        Put(after, deflated.size(), 4);
        Put(after, afterData.size(), 4);
        Put(after, 9, 2);
        Put(after, 0, 2);
        after.insert(after.end(), {'a', 'f', 't', 'e', 'r', '.', 'g', 'b', 'a'});
        after.insert(after.end(), deflated.begin(), deflated.end());
        writeAt(afterAt, after);

        const std::uint64_t centralAt = afterAt + after.size();
        Bytes central;
        const auto record = [&central](std::uint16_t method, std::uint32_t crc,
                                       std::uint32_t stored, std::uint32_t size,
                                       const std::string& name, std::uint32_t offset,
                                       const Bytes& zip64Values) {
            Put(central, 0x02014b50, 4);
            Put(central, 45, 2);
            Put(central, 45, 2);
            Put(central, 0, 2);
            Put(central, method, 2);
            Put(central, 0, 4);
            Put(central, crc, 4);
            Put(central, stored, 4);
            Put(central, size, 4);
            Put(central, name.size(), 2);
            Put(central, 4 + zip64Values.size(), 2);
            Put(central, 0, 2);
            Put(central, 0, 2);
            Put(central, 0, 2);
            Put(central, 0x20, 4);
            Put(central, offset, 4);
            central.insert(central.end(), name.begin(), name.end());
            Put(central, 0x0001, 2);
            Put(central, zip64Values.size(), 2);
            central.insert(central.end(), zip64Values.begin(), zip64Values.end());
        };
        Bytes bigValues;  // uncompressed, then compressed size
        Put(bigValues, kBigSize, 8);
        Put(bigValues, kBigSize, 8);
        record(0, bigCrc, 0xFFFFFFFF, 0xFFFFFFFF, "big.nds", 0, bigValues);
        Bytes afterValues;  // the offset alone
        Put(afterValues, afterAt, 8);
        record(8, Crc32(afterData), static_cast<std::uint32_t>(deflated.size()),
               static_cast<std::uint32_t>(afterData.size()), "after.gba", 0xFFFFFFFF, afterValues);

        Bytes end;
        const std::uint64_t zip64EndAt = centralAt + central.size();
        Put(end, 0x06064b50, 4);
        Put(end, 44, 8);
        Put(end, 45, 2);
        Put(end, 45, 2);
        Put(end, 0, 4);
        Put(end, 0, 4);
        Put(end, 2, 8);
        Put(end, 2, 8);
        Put(end, central.size(), 8);
        Put(end, centralAt, 8);
        Put(end, 0x07064b50, 4);
        Put(end, 0, 4);
        Put(end, zip64EndAt, 8);
        Put(end, 1, 4);
        Put(end, 0x06054b50, 4);
        Put(end, 0, 4);
        Put(end, 0xFFFF, 2);
        Put(end, 0xFFFF, 2);
        Put(end, 0xFFFFFFFF, 4);
        Put(end, 0xFFFFFFFF, 4);
        Put(end, 0, 2);
        central.insert(central.end(), end.begin(), end.end());
        writeAt(centralAt, central);
        ASSERT_EQ(::close(fd), 0);
    }
};

TEST_F(ZipReaderTest, AnArchiveOfMoreThan4GiBIsRead) {
    SparseZip64 archive;
    const std::string path = dir.file("big.zip");
    ASSERT_NO_FATAL_FAILURE(archive.write(path));
    struct stat written {};
    ASSERT_EQ(::stat(path.c_str(), &written), 0);
    ASSERT_GT(static_cast<std::uint64_t>(written.st_size), 4ull << 30);
    ASSERT_LT(written.st_blocks * 512, 1 << 20) << "the file system wrote the hole out";

    ASSERT_TRUE(zip.open(path).ok());
    ASSERT_TRUE(zip.isZipFile());
    ASSERT_EQ(zip.entries().size(), 2u);
    const ZipEntry& big = zip.entries()[0];
    const ZipEntry& after = zip.entries()[1];
    EXPECT_EQ(big.record.UncompressedSize, SparseZip64::kBigSize);
    EXPECT_EQ(big.record.CompressedSize, SparseZip64::kBigSize);
    EXPECT_EQ(after.record.RelativeOffsetOfLocalHeader, archive.afterAt);
    EXPECT_EQ(after.record.UncompressedSize, archive.afterData.size());

    ByteBuffer out;
    ASSERT_TRUE(zip.appendMemberTo(after, out).ok());
    EXPECT_TRUE(Bytes(out.begin(), out.end()) == archive.afterData);
    out.clear();
    EXPECT_EQ(zip.appendMemberTo(big, out).reason(), "the member claims more than 1 GiB");
    EXPECT_TRUE(out.empty());
}

// Bytes that deflate does not shrink, with no period a misplaced block could hide behind.
Bytes Noise(std::size_t size) {
    Bytes bytes(size);
    std::uint32_t state = 12345;
    for (std::uint8_t& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

// Keeps what a member reader hands over, and how.
class RecordingSink final : public MemberSink {
  public:
    Status begin(std::uint64_t size) override {
        stated = size;
        return Status::success();
    }
    Status write(std::span<const std::uint8_t> bytes) override {
        EXPECT_TRUE(stated.has_value()) << "a write before begin()";
        received.insert(received.end(), bytes.begin(), bytes.end());
        largestWrite = std::max(largestWrite, bytes.size());
        if (++writes == failAtWrite) {
            return Status::failure("the disk is full");
        }
        return Status::success();
    }
    Status finish() override {
        ++finished;
        return Status::success();
    }
    bool takesStoredMembers() const override { return takesStored; }
    Status takeStoredMember(const std::string& archive, std::uint64_t offset,
                            std::uint64_t size) override {
        place = {archive, offset, size};
        return Status::success();
    }

    bool takesStored = false;
    std::size_t failAtWrite = 0;  // the write that fails (counting from 1), 0 for none
    std::optional<std::uint64_t> stated;
    Bytes received;
    std::size_t writes = 0;
    std::size_t largestWrite = 0;
    int finished = 0;
    std::optional<std::tuple<std::string, std::uint64_t, std::uint64_t>> place;
};

TEST_F(ZipReaderTest, ReadMemberHandsOverTheBytesInOrderThenFinishes) {
    const Bytes data = Noise(3 << 20);
    ASSERT_TRUE(zip.open(write(ZipBuilder()
                                   .add("stored.nds", data, 0)
                                   .add("deflated.nds", data)
                                   .add(ZipBuilder::Member("zip64.nds", data).zip64())
                                   .add("empty.gba", {}, 0)
                                   .build()))
                    .ok());
    ASSERT_EQ(zip.entries().size(), 4u);
    for (const ZipEntry& entry : zip.entries()) {
        const std::string name = entry.record.FileName;
        const Bytes& expected = name == "empty.gba" ? Bytes{} : data;
        RecordingSink sink;
        ASSERT_TRUE(zip.readMember(entry, sink).ok()) << name;
        EXPECT_EQ(sink.stated, expected.size()) << name;
        EXPECT_TRUE(sink.received == expected) << name;
        EXPECT_LE(sink.largestWrite, 1u << 20) << name;
        if (!expected.empty()) {
            EXPECT_GT(sink.writes, 1u) << name;  // by blocks, not in one piece
        }
        EXPECT_EQ(sink.finished, 1) << name;
    }
}

TEST_F(ZipReaderTest, FailuresFoundAtTheEndComeAfterTheBytesAndWithoutFinish) {
    using Member = ZipBuilder::Member;
    const Bytes data = Noise(1600000);
    const std::uint32_t crcOfFirst1500000 = Crc32(Bytes(data.begin(), data.begin() + 1500000));
    // A stored member whose central record claims 2 MiB more than the file holds.
    Bytes pastTheEnd = ZipBuilder().add("past.nds", data, 0).build();
    const std::size_t central = 30 + 8 + data.size();
    for (const std::size_t field : {central + 20, central + 24}) {
        const std::uint32_t claimed = static_cast<std::uint32_t>(data.size() + (2u << 20));
        for (int i = 0; i < 4; ++i) {
            pastTheEnd[field + i] = static_cast<std::uint8_t>(claimed >> (8 * i));
        }
    }
    struct Row {
        const char* what;
        Bytes archive;
        std::size_t handedOver;
        std::string reason;
    };
    for (const Row& row : {
             Row{"deflated, another CRC-32",
                 ZipBuilder().add(Member("a.nds", data).claimingCrc(1)).build(), data.size(),
                 "the data does not match its CRC-32"},
             Row{"stored, another CRC-32",
                 ZipBuilder().add(Member("a.nds", data, 0).claimingCrc(1)).build(), data.size(),
                 "the data does not match its CRC-32"},
             Row{"deflated, shorter than stated",
                 ZipBuilder().add(Member("a.nds", data).claiming(1700000)).build(), data.size(),
                 "the data inflates to fewer bytes than stated"},
             Row{"deflated, longer than stated",
                 ZipBuilder()
                     .add(Member("a.nds", data).claiming(1500000).claimingCrc(crcOfFirst1500000))
                     .build(),
                 1500000, "the data inflates to more bytes than stated"},
             Row{"stored, running past the end of the file", pastTheEnd, 1u << 20,
                 "the stored data is shorter than stated"},
         }) {
        SCOPED_TRACE(row.what);
        ZipReader reader;
        ASSERT_TRUE(reader.open(write(row.archive)).ok());
        RecordingSink sink;
        EXPECT_EQ(reader.readMember(reader.entries()[0], sink).reason(), row.reason);
        EXPECT_EQ(sink.received.size(), row.handedOver);
        EXPECT_TRUE(std::equal(sink.received.begin(), sink.received.end(), data.begin()));
        EXPECT_EQ(sink.finished, 0);
    }
}

TEST_F(ZipReaderTest, ASinkThatFailsEndsTheReading) {
    ASSERT_TRUE(zip.open(write(ZipBuilder().add("a.nds", Noise(3 << 20)).build())).ok());
    RecordingSink sink;
    sink.failAtWrite = 1;
    EXPECT_EQ(zip.readMember(zip.entries()[0], sink).reason(), "the disk is full");
    EXPECT_EQ(sink.writes, 1u);
    EXPECT_EQ(sink.finished, 0);
}

TEST_F(ZipReaderTest, ASinkTakingStoredMembersGetsTheirPlaceOnceTheirCrcIsChecked) {
    using Member = ZipBuilder::Member;
    const Bytes data = Noise(100000);
    const std::string path = write(ZipBuilder()
                                       .add("stored.nds", data, 0)
                                       .add(Member("bad.nds", data, 0).claimingCrc(1))
                                       .add("deflated.nds", data)
                                       .build());
    ASSERT_TRUE(zip.open(path).ok());
    const auto readWith = [this](std::size_t index, RecordingSink& sink) {
        sink.takesStored = true;
        return zip.readMember(zip.entries()[index], sink);
    };

    RecordingSink stored;
    ASSERT_TRUE(readWith(0, stored).ok());
    ASSERT_TRUE(stored.place.has_value());
    const auto& [archive, offset, size] = *stored.place;
    EXPECT_EQ(archive, path);
    EXPECT_EQ(offset, 30u + 10u);  // after the local header and the name
    EXPECT_EQ(size, data.size());
    const Bytes file = testing::ReadFile(path);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), file.begin() + offset));
    EXPECT_EQ(stored.writes, 0u);

    RecordingSink bad;
    EXPECT_EQ(readWith(1, bad).reason(), "the data does not match its CRC-32");
    EXPECT_FALSE(bad.place.has_value());

    RecordingSink deflated;
    ASSERT_TRUE(readWith(2, deflated).ok());
    EXPECT_FALSE(deflated.place.has_value());
    EXPECT_TRUE(deflated.received == data);
    EXPECT_EQ(deflated.finished, 1);
}

// Resident memory of this process in KiB: now, and at its peak since ResetPeakMemory().
std::optional<long> StatusValue(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(key + ":")) {
            return std::stol(line.substr(key.size() + 1));
        }
    }
    return std::nullopt;
}
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";  // sets the peak back to the present size
    clear.flush();
    return clear.good();
}

TEST_F(ZipReaderTest, AMemberIsReadInMemoryIndependentOfItsSize) {
    // 256 MiB of zeros, deflated to about 256 KiB.
    constexpr std::uint64_t kSize = 256u << 20;
    Bytes deflated;
    {
        const Bytes zeros(1 << 20, 0);
        z_stream stream{};
        ASSERT_EQ(deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
        Bytes chunk(1 << 16);
        for (std::uint64_t done = 0; done < kSize; done += zeros.size()) {
            stream.next_in = const_cast<Bytef*>(zeros.data());
            stream.avail_in = static_cast<uInt>(zeros.size());
            const int flush = done + zeros.size() == kSize ? Z_FINISH : Z_NO_FLUSH;
            do {
                stream.next_out = chunk.data();
                stream.avail_out = static_cast<uInt>(chunk.size());
                deflate(&stream, flush);
                deflated.insert(deflated.end(), chunk.begin(),
                                chunk.end() - static_cast<std::ptrdiff_t>(stream.avail_out));
            } while (stream.avail_out == 0);
        }
        deflateEnd(&stream);
    }
    ASSERT_TRUE(zip.open(write(ZipBuilder()
                                   .add(ZipBuilder::Member("zeros.nds", {})
                                            .withStoredBytes(deflated)
                                            .claiming(kSize)
                                            .claimingCrc(CrcOfZeros(kSize)))
                                   .build()))
                    .ok());

    class CountingSink final : public MemberSink {
      public:
        Status begin(std::uint64_t) override { return Status::success(); }
        Status write(std::span<const std::uint8_t> bytes) override {
            received += bytes.size();
            return Status::success();
        }
        Status finish() override { return Status::success(); }
        std::uint64_t received = 0;
    } sink;
    if (!ResetPeakMemory()) {
        GTEST_SKIP() << "the peak of resident memory cannot be reset here";
    }
    const std::optional<long> before = StatusValue("VmRSS");
    ASSERT_TRUE(zip.readMember(zip.entries()[0], sink).ok());
    const std::optional<long> peak = StatusValue("VmHWM");
    ASSERT_TRUE(before && peak);
    EXPECT_EQ(sink.received, kSize);
    EXPECT_LT(*peak - *before, 32 << 10) << "KiB grown while reading";
}

}  // namespace
}  // namespace ostravex
