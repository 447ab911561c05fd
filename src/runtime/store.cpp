#include "runtime/store.hpp"

#include <algorithm>
#include <utility>

#include "runtime/leftovers.hpp"

namespace qiwa {
namespace {

std::uint64_t fingerprint(std::string_view bytes) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h ^ bytes.size();
}

Text two_digits(long long n) { return Text(1, static_cast<char>('0' + n / 10 % 10)) + static_cast<char>('0' + n % 10); }

Text parent_of(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? Text() : Text(path.substr(0, slash));
}

Text name_of(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  return Text(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

constexpr std::int64_t kRetryLimitMs = 60'000;

}  // namespace

Text store_directory(Files& files, std::string_view folder_name) {
  const Text run = files.run_directory();
  if (files.folder_writable(run)) return run;
  const Text app_data = files.app_data_directory();
  if (!app_data.empty()) {
    const Text dir = app_data + "\\" + Text(folder_name);
    if (files.make_directory(dir)) return dir;
  }
  return run;
}

// Days since 1970 to the civil date (proleptic Gregorian), after H. Hinnant's days_from_civil inverse.
Text date_stamp(std::int64_t local_ms) {
  std::int64_t seconds = local_ms >= 0 ? local_ms / 1000 : (local_ms - 999) / 1000;
  std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const std::int64_t in_day = seconds - days * 86400;
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  return std::to_string(year) + two_digits(month) + two_digits(day) + "-" + two_digits(in_day / 3600) +
         two_digits(in_day / 60 % 60) + two_digits(in_day % 60);
}

Store::Store(Files& files, Clock& clock, Text path, std::size_t limit, Text what)
    : files_(files), clock_(clock), path_(std::move(path)), what_(std::move(what)), limit_(limit) {}

void Store::load() {
  std::lock_guard lock(write_mutex_);
  remove_leftovers();
  const std::optional<FileInfo> info = files_.file_info(path_);
  if (!info) return;  // a first start
  if (info->size > limit_) return take_in(std::nullopt);  // far too large for one of ours: another program's
  if (std::optional<Text> bytes = files_.read_file(path_, limit_)) return take_in(bytes);
  read_only_ = true;  // writing now could lose what the file holds
  say(what_ + "文件无法读取，本次的更改不会保存");
}

bool Store::write_due(std::int64_t now_ms) const {
  return dirty_ && !read_only_ && now_ms - last_write_ms_ >= retry_after_ms_;
}

bool Store::write(std::int64_t now_ms) {
  std::lock_guard lock(write_mutex_);
  if (read_only_ || !dirty_) return false;
  std::unique_ptr<FileLock> turn = files_.try_lock(path_ + ".lock");
  if (!turn) return false;  // the other copy writes now; its bytes are merged next time
  last_write_ms_ = now_ms;
  if (std::optional<FileInfo> info = files_.file_info(path_)) {
    std::optional<Text> bytes = files_.read_file(path_, limit_);
    if (info->size > limit_) {
      take_in(std::nullopt);
    } else if (!bytes) {
      return false;  // what the other copy wrote cannot be read: nothing is written over it
    } else if (fingerprint(*bytes) != seen_) {
      take_in(bytes);
    }
  }
  if (read_only_) return false;
  const Text bytes = encode();
  const bool ok = files_.replace_file(path_, bytes);
  written(ok);
  if (!ok) {
    changed();
    if (retry_after_ms_ == 1000) say(what_ + "无法保存（磁盘已满或不能写入），稍后再试");
    retry_after_ms_ = std::min<std::int64_t>(retry_after_ms_ * 2, kRetryLimitMs);
    return false;
  }
  seen_ = fingerprint(bytes);
  retry_after_ms_ = 1000;
  return true;
}

Text Store::take_message() {
  std::lock_guard lock(message_mutex_);
  return std::exchange(message_, Text());
}

void Store::remove_leftovers() {
  const Text dir = parent_of(path_);
  const Text own = name_of(path_);
  for (const FileInfo& file : files_.list_files(dir)) {
    const auto temporary = read_temporary_name(file.name, kReplaceTemporarySuffix);
    if (temporary && temporary->target == own && abandoned(files_, *temporary)) files_.remove(dir + "\\" + file.name);
  }
}

void Store::take_in(const std::optional<Text>& bytes) {
  const StoreRead read = bytes ? absorb(*bytes) : StoreRead{true, false};
  if (bytes) seen_ = fingerprint(*bytes);
  if (read.damaged) {
    if (!set_aside()) {
      read_only_ = true;
      say(what_ + "文件有损坏，且无法另存原文件，本次只读");
      return;
    }
    changed();  // what could be read goes into a new file
  } else if (read.newer) {
    read_only_ = true;
    say(what_ + "文件由更新的版本写成，本次只读，更改不会保存");
  }
}

bool Store::set_aside() {
  const Text base = path_ + ".broken-" + date_stamp(clock_.local_wall_ms());
  Text name = base;
  for (int n = 2; files_.exact_exists(name); ++n) {
    if (n > 999) return false;
    name = base + "-" + std::to_string(n);
  }
  if (!files_.move_new(path_, name)) return false;
  say(what_ + "文件有损坏，已读回能读的部分，原文件另存为 " + name_of(name));
  return true;
}

void Store::say(Text message) {
  std::lock_guard lock(message_mutex_);
  if (message_.empty()) message_ = std::move(message);
}

}  // namespace qiwa
