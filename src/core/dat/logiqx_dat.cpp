// The Logiqx XML DAT format, as No-Intro writes it:
//   <datafile><header><name>...</name><version>...</version>...</header>
//   <game name="..."><description>...</description>
//     <rom name="..." size="..." crc="..." md5="..." sha1="..."/></game>...</datafile>
// read with expat. Only the fields above are taken; other elements and attributes are
// passed over. MAME-style DATs name their games <machine>, which is accepted too.
#include <expat.h>

#include <algorithm>
#include <memory>
#include <string>

#include "dat/dat_file.h"
#include "dat/dat_libraries.h"
#include "dat/dat_rom_fields.h"

namespace ostravex {
namespace {

class LogiqxReader {
  public:
    explicit LogiqxReader(DatFile& dat) : m_dat(dat) {}

    static void XMLCALL start(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<LogiqxReader*>(self)->startElement(name, attributes);
    }
    static void XMLCALL end(void* self, const XML_Char* name) {
        static_cast<LogiqxReader*>(self)->endElement(name);
    }
    static void XMLCALL text(void* self, const XML_Char* bytes, int length) {
        static_cast<LogiqxReader*>(self)->characters(std::string_view(bytes, length));
    }

    bool sawDatafile() const { return m_sawDatafile; }

  private:
    enum class Field { None, HeaderName, HeaderVersion };

    void startElement(std::string_view name, const XML_Char** attributes) {
        ++m_depth;
        if (m_depth == 1) {
            m_sawDatafile = name == "datafile";
            return;
        }
        if (!m_sawDatafile) {
            return;
        }
        if (m_depth == 2) {
            m_inHeader = name == "header";
            m_inGame = name == "game" || name == "machine";
            if (m_inGame) {
                m_gameName = Attribute(attributes, "name");
            }
            return;
        }
        if (m_depth == 3 && m_inHeader) {
            m_field = name == "name"      ? Field::HeaderName
                      : name == "version" ? Field::HeaderVersion
                                          : Field::None;
            return;
        }
        if (m_depth == 3 && m_inGame && name == "rom") {
            DatRomFields fields;
            for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
                fields.set(a[0], a[1]);
            }
            AddDatRom(fields, m_gameName, m_dat);
        }
    }

    void endElement(std::string_view) {
        if (m_depth == 3) {
            m_field = Field::None;
        }
        if (m_depth == 2) {
            m_inHeader = false;
            m_inGame = false;
        }
        --m_depth;
    }

    void characters(std::string_view text) {
        if (m_field == Field::HeaderName) {
            m_dat.name += text;
        } else if (m_field == Field::HeaderVersion) {
            m_dat.version += text;
        }
    }

    static std::string Attribute(const XML_Char** attributes, std::string_view wanted) {
        for (const XML_Char** a = attributes; a[0] != nullptr; a += 2) {
            if (wanted == a[0]) {
                return a[1];
            }
        }
        return {};
    }

    DatFile& m_dat;
    int m_depth = 0;
    bool m_sawDatafile = false;
    bool m_inHeader = false;
    bool m_inGame = false;
    Field m_field = Field::None;
    std::string m_gameName;
};

// The encoding a byte order mark gives the text, or null: expat then reads the XML
// declaration (UTF-8 when there is none). A UTF-16 DAT carries its mark; the name of the
// encoding is passed on so that the declaration ("UTF-16", or a wrong one) cannot
// contradict it.
const XML_Char* EncodingOfByteOrderMark(std::string_view text) {
    if (text.starts_with("\xFF\xFE")) {
        return "UTF-16LE";
    }
    if (text.starts_with("\xFE\xFF")) {
        return "UTF-16BE";
    }
    return nullptr;
}

}  // namespace

Status ParseLogiqxDat(std::string_view text, DatFile& dat) {
    const ExpatFunctions* xml = nullptr;
    if (Status status = LoadExpat(xml); !status) {
        return status;
    }
    DatFile parsed;
    LogiqxReader reader(parsed);
    const std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
        xml->ParserCreate(EncodingOfByteOrderMark(text)), xml->ParserFree);
    if (!parser) {
        return Status::failure("out of memory");
    }
    xml->SetUserData(parser.get(), &reader);
    xml->SetElementHandler(parser.get(), &LogiqxReader::start, &LogiqxReader::end);
    xml->SetCharacterDataHandler(parser.get(), &LogiqxReader::text);
    // No external entity or DTD is ever fetched: the DOCTYPE line of a No-Intro DAT names
    // a DTD on the web, which is only a name here.
    xml->SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);

    // expat takes its input in pieces of at most INT_MAX bytes.
    constexpr std::size_t kPiece = 64u << 20;
    do {
        const std::size_t length = std::min(kPiece, text.size());
        const bool last = length == text.size();
        if (xml->Parse(parser.get(), text.data(), static_cast<int>(length), last) ==
            XML_STATUS_ERROR) {
            return Status::failure(std::string("not a valid XML DAT: ") +
                                   xml->ErrorString(xml->GetErrorCode(parser.get())) + " at line " +
                                   std::to_string(xml->GetCurrentLineNumber(parser.get())));
        }
        text.remove_prefix(length);
    } while (!text.empty());
    if (!reader.sawDatafile()) {
        return Status::failure("not a Logiqx DAT: its root element is not <datafile>");
    }
    dat = std::move(parsed);
    return Status::success();
}

}  // namespace ostravex
