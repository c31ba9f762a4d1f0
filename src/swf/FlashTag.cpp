#include "FlashTag.h"

#include "BitBuffer.h"

namespace {
constexpr std::uint32_t LongLengthMark = 63;
}

std::ostream& FlashTagHeader::Write(std::ostream& out)
{
    const std::uint32_t codeField = static_cast<std::uint32_t>(m_code) << 6;
    if (m_length < LongLengthMark) {
        FlashPutU16(out, codeField | m_length);
    } else {
        FlashPutU16(out, codeField | LongLengthMark);
        FlashPutU32(out, m_length);
    }
    return out;
}

std::istream& FlashTagHeader::Read(std::istream& in)
{
    in.setstate(std::ios::failbit);
    return in;
}

std::ostream& FlashTag::WriteFramed(std::ostream& out, std::uint16_t code, std::string_view body)
{
    FlashTagHeader(code, static_cast<std::uint32_t>(body.size())).Write(out);
    return out.write(body.data(), static_cast<std::streamsize>(body.size()));
}
