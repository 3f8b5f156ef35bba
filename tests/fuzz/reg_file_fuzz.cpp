// The settings store gives back every value it read: an arbitrary file is read, written and
// read again, and so are values built from the input; both readings must be equal.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "settings/reg_file.h"

namespace {

void CheckReadWriteRead(std::string_view content) {
    const ostravex::RegFile first = ostravex::RegFile::Parse(content);
    const std::string written = first.Serialize();
    ostravex::fuzz::Require(ostravex::RegFile::Parse(written) == first,
                            "a value changed on writing and reading back");
}

std::string LineFreeText(FuzzedDataProvider& input) {
    std::string text = input.ConsumeRandomLengthString(40);
    std::erase(text, '\n');
    return text;
}

// Values as the program may set them: any bytes in a text, any number; key paths and value
// names are single lines.
void CheckBuiltValues(FuzzedDataProvider& input) {
    ostravex::RegFile file;
    while (input.remaining_bytes() > 0) {
        const std::string key =
            input.ConsumeBool() ? "HKEY_CURRENT_USER\\Ostravex" : LineFreeText(input);
        const std::string name = LineFreeText(input);
        if (input.ConsumeBool()) {
            file.set(key, name, ostravex::RegValue::Dword(input.ConsumeIntegral<std::uint32_t>()));
        } else {
            file.set(key, name, ostravex::RegValue::String(input.ConsumeRandomLengthString(200)));
        }
    }
    ostravex::fuzz::Require(ostravex::RegFile::Parse(file.Serialize()) == file,
                            "a set value changed on writing and reading back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckReadWriteRead({reinterpret_cast<const char*>(data), size});
    FuzzedDataProvider input(data, size);
    CheckBuiltValues(input);
    return 0;
}
