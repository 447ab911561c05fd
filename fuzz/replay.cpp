// A fuzz target's main for builds without libFuzzer (gcc, the 32-bit build): runs the target over every
// file of the folders or files given, whole and cut short at eight points, so that each length check
// of the seeds meets its end. A crash or sanitizer report fails the run.
//   NAME_replay CORPUS_DIR_OR_FILE...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> inputs(const char* where) {
  std::vector<std::filesystem::path> out;
  if (std::filesystem::is_directory(where)) {
    for (const auto& entry : std::filesystem::directory_iterator(where))
      if (entry.is_regular_file()) out.push_back(entry.path());
  } else {
    out.emplace_back(where);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0, runs = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& path : inputs(argv[i])) {
      std::ifstream in(path, std::ios::binary);
      if (!in) return std::fprintf(stderr, "cannot read %s\n", path.c_str()), 2;
      // A copy of each length of its own, so that a read past the end is past the end of the memory too.
      const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      for (int part = 8; part >= 1; --part) {
        const std::vector<uint8_t> input(bytes.begin(), bytes.begin() + bytes.size() * part / 8);
        LLVMFuzzerTestOneInput(input.data(), input.size());
        ++runs;
      }
      ++files;
    }
  }
  if (files == 0) return std::fprintf(stderr, "no inputs\n"), 2;
  std::printf("%d inputs, %d runs\n", files, runs);
  return 0;
}
