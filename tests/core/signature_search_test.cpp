#include "sram/signature_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "sram/sram_catalogue.h"

namespace ostravex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Scan = SignatureSearch::Scan;

std::vector<std::size_t> PlainFirstOccurrences(const std::vector<Bytes>& signatures,
                                               const Bytes& data) {
    std::vector<std::size_t> found;
    for (const Bytes& signature : signatures) {
        const auto at = std::search(data.begin(), data.end(), signature.begin(), signature.end());
        found.push_back(at == data.end() ? SignatureSearch::kNotFound
                                         : static_cast<std::size_t>(at - data.begin()));
    }
    return found;
}

std::vector<std::span<const std::uint8_t>> Spans(const std::vector<Bytes>& signatures) {
    return {signatures.begin(), signatures.end()};
}

std::vector<Bytes> CatalogueSignatures() {
    std::vector<Bytes> signatures;
    for (const SramCatalogueEntry& entry : SramCatalogue()) {
        signatures.emplace_back(entry.signature.begin(), entry.signature.end());
    }
    signatures.emplace_back(std::begin(kV111Signature), std::end(kV111Signature));
    signatures.emplace_back(std::begin(kV111SecondarySignature), std::end(kV111SecondarySignature));
    return signatures;
}

// Data in which the filter lets many positions through: the first bytes of the
// signatures (all but their last byte, or their first four) everywhere, on random bytes.
Bytes NearMisses(const std::vector<Bytes>& signatures, std::size_t size, std::mt19937& random) {
    Bytes data(size);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    for (std::size_t at = 0; at < size; at += 5 + random() % 11) {
        const Bytes& signature = signatures[random() % signatures.size()];
        const std::size_t length =
            random() % 2 ? signature.size() - 1 : std::min<std::size_t>(4, signature.size());
        if (at + length > size) {
            break;
        }
        std::copy_n(signature.begin(), length, data.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return data;
}

struct SearchCase {
    const char* label;
    std::vector<Bytes> signatures;
    // Makes the data; the plain search tells what must be found in it.
    Bytes (*data)(const std::vector<Bytes>& signatures, std::mt19937& random);
};

void PrintTo(const SearchCase& c, std::ostream* os) {
    *os << c.label;
}

// Puts each signature, in turn, at offsets around the 32-byte steps of the vector scan and
// at the very end, on top of `filler`.
Bytes AtStepBorders(const std::vector<Bytes>& signatures, std::uint8_t filler) {
    Bytes data(3000, filler);
    std::size_t at = 27;
    for (const Bytes& signature : signatures) {
        std::copy(signature.begin(), signature.end(),
                  data.begin() + static_cast<std::ptrdiff_t>(at));
        at += 64 + 1 + signature.size() % 7;
        if (at + signature.size() > data.size()) {
            break;
        }
    }
    const Bytes& last = signatures.back();
    std::copy(last.begin(), last.end(), data.end() - static_cast<std::ptrdiff_t>(last.size()));
    return data;
}

std::vector<Bytes> ManySignatures() {
    // More signatures than the filter has buckets, some sharing first bytes.
    std::vector<Bytes> signatures;
    std::mt19937 random(99);
    for (int i = 0; i < 40; ++i) {
        Bytes signature(4 + random() % 20);
        for (auto& byte : signature) {
            byte = static_cast<std::uint8_t>(random());
        }
        if (i % 5 == 1) {
            std::copy_n(signatures.back().begin(), 3, signature.begin());
        }
        signatures.push_back(signature);
    }
    return signatures;
}

const SearchCase kSearchCases[] = {
    {"catalogue in random bytes", CatalogueSignatures(),
     [](const std::vector<Bytes>& signatures, std::mt19937& random) {
         Bytes data(200000);
         for (auto& byte : data) {
             byte = static_cast<std::uint8_t>(random());
         }
         // A few whole signatures, so that some are found and others are not.
         for (std::size_t i = 0; i < signatures.size(); i += 3) {
             const Bytes& signature = signatures[i];
             std::copy(signature.begin(), signature.end(),
                       data.begin() + static_cast<std::ptrdiff_t>(random() % 190000));
         }
         return data;
     }},
    {"catalogue in near misses", CatalogueSignatures(),
     [](const std::vector<Bytes>& signatures, std::mt19937& random) {
         Bytes data = NearMisses(signatures, 100000, random);
         const Bytes& signature = signatures[random() % signatures.size()];
         std::copy(signature.begin(), signature.end(), data.end() - 777);
         return data;
     }},
    {"catalogue at step borders in zeros", CatalogueSignatures(),
     [](const std::vector<Bytes>& signatures, std::mt19937&) {
         return AtStepBorders(signatures, 0x00);
     }},
    {"catalogue at step borders in 0xFF", CatalogueSignatures(),
     [](const std::vector<Bytes>& signatures, std::mt19937&) {
         return AtStepBorders(signatures, 0xFF);
     }},
    {"two-byte and three-byte signatures",
     {{7, 9}, {7, 9, 11}, {200, 1, 2}, {5, 5}, {250, 251}},
     [](const std::vector<Bytes>&, std::mt19937& random) {
         Bytes data(5000);
         for (auto& byte : data) {
             byte = static_cast<std::uint8_t>(random() % 16);
         }
         data[4000] = 200;
         data[4001] = 1;
         data[4998] = 250;  // the last position a signature can start at
         data[4999] = 251;
         return data;
     }},
    {"a signature as long as the filter at the very end",
     {{240, 241, 242, 243}, {1, 2, 3, 4, 5}},
     [](const std::vector<Bytes>& signatures, std::mt19937&) {
         Bytes data(1000, 0);
         std::copy(signatures[0].begin(), signatures[0].end(), data.end() - 4);
         data[500] = 1;  // the start of a signature that does not fit before the end
         std::copy_n(signatures[1].begin(), 4, data.end() - 8);
         return data;
     }},
    {"a signature that is the prefix of another",
     {{1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6, 7, 8}},
     [](const std::vector<Bytes>&, std::mt19937&) {
         Bytes data(100, 0);
         const Bytes longer{1, 2, 3, 4, 5, 6, 7, 8};
         std::copy(longer.begin(), longer.end(), data.begin() + 60);
         std::copy_n(longer.begin(), 6, data.begin() + 31);  // only the shorter one here
         return data;
     }},
    {"overlapping runs",
     {{9, 9, 9, 9, 9, 9}, {9, 9, 9, 9, 9, 8}},
     [](const std::vector<Bytes>&, std::mt19937&) {
         Bytes data(70, 9);
         data[0] = 0;
         data[69] = 8;
         return data;
     }},
    {"more signatures than buckets", ManySignatures(),
     [](const std::vector<Bytes>& signatures, std::mt19937& random) {
         Bytes data = NearMisses(signatures, 50000, random);
         return data;
     }},
    {"data shorter than one step", CatalogueSignatures(),
     [](const std::vector<Bytes>& signatures, std::mt19937&) {
         Bytes data(20, 0x11);
         const Bytes& last = signatures.back();
         std::copy(last.begin(), last.end(), data.end() - static_cast<std::ptrdiff_t>(last.size()));
         return data;
     }},
};

class SignatureSearchTest : public ::testing::TestWithParam<SearchCase> {};

// Both scans, over the data whole and in pieces as the patcher reads an image, find what
// a plain search finds.
TEST_P(SignatureSearchTest, BothScansFindWhatAPlainSearchFinds) {
    const SearchCase& c = GetParam();
    std::mt19937 random(2024);
    const Bytes data = c.data(c.signatures, random);
    const std::vector<std::size_t> expected = PlainFirstOccurrences(c.signatures, data);
    for (const Scan scan : {Scan::Fastest, Scan::Portable}) {
        SCOPED_TRACE(scan == Scan::Fastest ? "fastest scan" : "portable scan");
        const SignatureSearch search(Spans(c.signatures), scan);
        EXPECT_EQ(search.firstOccurrences(data), expected);

        for (const std::size_t piece : {std::size_t{40}, std::size_t{1000}, std::size_t{65536}}) {
            SCOPED_TRACE("pieces of " + std::to_string(piece));
            std::vector<std::size_t> found(c.signatures.size(), SignatureSearch::kNotFound);
            const std::size_t overlap = search.longest() - 1;
            for (std::size_t start = 0; start < data.size(); start += piece) {
                const std::size_t from = start >= overlap ? start - overlap : 0;
                const std::size_t to = std::min(data.size(), start + piece);
                search.findFirst(std::span(data).subspan(from, to - from), from, found);
            }
            EXPECT_EQ(found, expected);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Data, SignatureSearchTest, ::testing::ValuesIn(kSearchCases));

// A search in pieces reports how many signatures are still missing, and does not look
// again for one that is found.
TEST(SignatureSearch, ReportsWhatIsLeftToFindAndKeepsWhatIsFound) {
    const std::vector<Bytes> signatures{{1, 2, 3, 4}, {5, 6, 7, 8}};
    Bytes data(100, 0);
    std::copy_n(signatures[0].begin(), 4, data.begin() + 10);
    std::copy_n(signatures[0].begin(), 4, data.begin() + 50);
    std::copy_n(signatures[1].begin(), 4, data.begin() + 90);
    for (const Scan scan : {Scan::Fastest, Scan::Portable}) {
        SCOPED_TRACE(scan == Scan::Fastest ? "fastest scan" : "portable scan");
        const SignatureSearch search(Spans(signatures), scan);
        std::vector<std::size_t> found(2, SignatureSearch::kNotFound);
        EXPECT_EQ(search.findFirst(std::span(data).first(60), 1000, found), 1u);
        EXPECT_EQ(found, (std::vector<std::size_t>{1010, SignatureSearch::kNotFound}));
        EXPECT_EQ(search.findFirst(std::span(data).subspan(57), 1057, found), 0u);
        EXPECT_EQ(found, (std::vector<std::size_t>{1010, 1090}));

        std::vector<std::size_t> secondKnown{SignatureSearch::kNotFound, 7};
        EXPECT_EQ(search.findFirst(data, 0, secondKnown), 0u);
        EXPECT_EQ(secondKnown, (std::vector<std::size_t>{10, 7}));
    }
}

}  // namespace
}  // namespace ostravex
