#pragma once
// Qiwa skin data (".SHE", version 1): parsing and validation. No Win32 here, so it can be checked anywhere.
#include <cstddef>
#include <cstdint>

namespace qiwa::skin {

enum Colour : int {
  kWindow, kControl, kText, kTextDisabled, kAccent,
  kButtonFace, kButtonHover, kButtonPressed, kButtonBorder, kButtonText,
  kHeader, kHeaderText, kRowAlt, kSelection, kSelectionText, kEditBorder,
  kColourCount
};

inline constexpr std::size_t kMaxFace = 31;

struct Skin {
  std::uint32_t colour[kColourCount];  // 0x00BBGGRR, as GDI wants it
  int corner_radius;                   // pixels, 0..12
  bool flat;
  int font_size;                       // em height in pixels, 8..32
  wchar_t font_face[kMaxFace + 1];     // NUL-terminated
};

// Result codes of SkinH_AttachRes; 0 is success.
enum ParseResult : int {
  kOk = 0,
  kNoData = 1,       // null pointer or length too short for the header
  kBadMagic = 2,
  kBadVersion = 3,
  kBadLength = 4,    // stated or implied length differs from the length given
  kBadChecksum = 5,
  kBadValue = 6,     // a field outside its range
  kSystemFailure = 7 // GDI objects or hooks could not be made
};

std::uint32_t crc32(const unsigned char* data, std::size_t size);
// Fills `out` only when the whole data is valid.
ParseResult parse_skin(const unsigned char* data, long length, Skin& out);

}  // namespace qiwa::skin
