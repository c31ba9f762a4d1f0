#pragma once
#include "AviLayout.h"
#include "AviRawFile.h"
#include "WinTypes.h"

#include <cstdint>
#include <vector>

namespace quolva::store::detail {

struct ParsedStream {
    AVISTREAMINFOA info{};
    std::vector<std::uint8_t> format;
    std::vector<std::vector<std::uint8_t>> extraChunks; // whole chunks, header included
    std::int64_t length = 0;
};

struct ParsedAvi {
    std::vector<ParsedStream> streams;
    std::vector<std::vector<std::uint8_t>> topExtras; // whole chunks between hdrl and movi
    AviLayout layout;
    bool complete = false; // every RIFF part was finished by its writer
};

// Reads the streams and the data index of an AVI file: from the OpenDML indexes, from idx1, or - for a
// part that has none, or whose writer died - by walking its movi list up to the last complete chunk.
// Every size taken from the file is checked against the file before it is used. Throws AviError.
ParsedAvi readAvi(const AviRawFile& file);

// Length of a stream whose file was not finished: the writer kept dwLength up to date after each write
// as far as it got, so the stored value tells whether lengths count bytes or samples.
std::int64_t recoveredLength(std::int64_t storedLength, std::uint64_t dataBytesOrChunks, DWORD sampleSize);

} // namespace quolva::store::detail
