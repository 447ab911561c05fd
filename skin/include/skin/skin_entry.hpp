#pragma once
// The skin library's entry point, declared once for both sides: the library defines this very
// declaration and the program binds its export by name, so the two cannot drift apart.
// stdcall on 32-bit Windows (exported undecorated), the platform's one convention elsewhere.
#if defined(_WIN32) && !defined(_WIN64)
#define QIWA_SKIN_CALL __stdcall
#else
#define QIWA_SKIN_CALL
#endif

// (skin data, its length in bytes, a text or null, a, b, c); 0 when the skin is in effect.
extern "C" int QIWA_SKIN_CALL SkinH_AttachRes(const unsigned char* data, int length, const char* text, int a, int b,
                                              int c);

namespace qiwa {

using SkinAttachRes = decltype(&SkinH_AttachRes);
inline constexpr char kSkinEntryName[] = "SkinH_AttachRes";

}  // namespace qiwa
