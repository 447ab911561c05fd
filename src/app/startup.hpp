#pragma once
// Start-up (skin library) and the exit clean-up.
#include <span>

#include "app/context.hpp"

namespace qiwa {

void on_main_window_created(AppContext& app);
// The exit clean-up, at the window's destruction or at the end of the Windows session.
void on_main_window_destroying(AppContext& app);

// The trimmed candidate if it names a file, else run_directory\SkinH_EL.dll, with a copy in the
// system directory (given with its trailing backslash) winning over both fallbacks.
Text resolve_skin_library_path(Files& files, std::string_view candidate, std::string_view run_directory,
                               std::string_view system_directory);
// Binds SkinH_AttachRes from the library at `library_path` and calls it; true when it returned 0.
bool attach_skin(Files& files, LibraryBindings& libraries, std::string_view library_path,
                 std::span<const unsigned char> skin, const char* text, int a, int b, int c);

}  // namespace qiwa
