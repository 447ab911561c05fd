#pragma once
// File operations on UTF-8 paths; the backends convert to the OS's own path form.
#include <cstdint>
#include <memory>

#include "runtime/types.hpp"

namespace qiwa {

// The executable's directory, no trailing backslash.
Text run_directory();
// The Windows system directory with exactly one trailing backslash.
Text system_directory();

// True when at least one entry matches (wildcards "*" and "?" allowed).
bool file_exists(std::string_view pattern);
// True when exactly this path names an existing regular file; never treats "?" or "*" as wildcards.
bool exact_file_exists(std::string_view path);
// Creates or truncates, writes the parts in order; false on any failure.
bool write_file(std::string_view path, const std::vector<Bytes>& parts);
bool write_file(std::string_view path, const Bytes& bytes);
bool delete_file(std::string_view path);
// Renames, replacing an existing target.
bool move_file(std::string_view from, std::string_view to);

// Wildcard search over one directory, directories excluded.
class FileSearch {
 public:
  FileSearch();
  ~FileSearch();
  FileSearch(const FileSearch&) = delete;
  FileSearch& operator=(const FileSearch&) = delete;
  // Name (no directory) of the next match; an empty pattern continues; empty text when done.
  Text next(std::string_view pattern = {});
  void close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A file being written piece by piece (used to stream a download to disk).
class OutputFile {
 public:
  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  bool open(std::string_view path);  // create or truncate
  bool write(const unsigned char* data, std::size_t size);
  bool close();  // false when a write or the close failed

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace qiwa
