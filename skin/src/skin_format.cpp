// Reads ".SHE" version 1; the layout is documented in skin/make_skin.py.
#include "skin_format.hpp"

namespace qiwa::skin {
namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kFaceOffset = 86;  // header, 4 bytes of look, 64 of colours, 2 of face length

std::uint32_t u16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t u32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

ParseResult check_header(const unsigned char* data, std::size_t size) {
  if (!data || size < kHeaderSize) return kNoData;
  if (data[0] != '.' || data[1] != 'S' || data[2] != 'H' || data[3] != 'E') return kBadMagic;
  if (u16(data + 4) != 1 || u16(data + 6) != kHeaderSize) return kBadVersion;
  if (u32(data + 8) != size || size < kFaceOffset) return kBadLength;
  if (u32(data + 12) != crc32(data + kHeaderSize, size - kHeaderSize)) return kBadChecksum;
  return kOk;
}

ParseResult read_body(const unsigned char* data, std::size_t size, Skin& skin) {
  const unsigned char* look = data + kHeaderSize;
  if (look[0] != kColourCount || look[1] > 12 || (look[2] & ~1u) || look[3] < 8 || look[3] > 32)
    return kBadValue;
  skin.corner_radius = look[1];
  skin.flat = look[2] & 1;
  skin.font_size = look[3];
  const unsigned char* colours = look + 4;
  for (int i = 0; i < kColourCount; ++i) {
    const unsigned char* c = colours + 4 * i;
    if (c[3] != 0) return kBadValue;
    skin.colour[i] = c[0] | (c[1] << 8) | (c[2] << 16);
  }
  const unsigned char* face = colours + 4 * kColourCount;
  const std::size_t units = face[0];
  if (units < 1 || units > kMaxFace || face[1] != 0) return kBadValue;
  if (size != kFaceOffset + 2 * units) return kBadLength;
  for (std::size_t i = 0; i < units; ++i) {
    const wchar_t ch = static_cast<wchar_t>(u16(face + 2 + 2 * i));
    if (ch < 0x20) return kBadValue;
    skin.font_face[i] = ch;
  }
  skin.font_face[units] = 0;
  return kOk;
}

}  // namespace

std::uint32_t crc32(const unsigned char* data, std::size_t size) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

ParseResult parse_skin(const unsigned char* data, long length, Skin& out) {
  if (length < 0) return kNoData;
  const std::size_t size = static_cast<std::size_t>(length);
  if (ParseResult r = check_header(data, size); r != kOk) return r;
  Skin skin{};
  if (ParseResult r = read_body(data, size, skin); r != kOk) return r;
  out = skin;
  return kOk;
}

}  // namespace qiwa::skin
