#include "runtime/leftovers.hpp"

namespace qiwa {
namespace {

constexpr std::size_t kMaxDigits = 10;  // a 32-bit number

// The number that `text` ends with after `at`, walking back over its digits; `at` moves before them.
std::optional<unsigned long long> number_before(std::string_view text, std::size_t& at) {
  std::size_t begin = at;
  while (begin > 0 && text[begin - 1] >= '0' && text[begin - 1] <= '9') --begin;
  if (begin == at || at - begin > kMaxDigits) return std::nullopt;
  unsigned long long value = 0;
  for (std::size_t i = begin; i < at; ++i) value = value * 10 + static_cast<unsigned>(text[i] - '0');
  at = begin;
  return value;
}

}  // namespace

std::optional<TemporaryName> read_temporary_name(std::string_view name, std::string_view suffix) {
  if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix) return std::nullopt;
  std::size_t at = name.size() - suffix.size();
  if (!number_before(name, at) || at == 0 || name[--at] != '-') return std::nullopt;
  const std::optional<unsigned long long> process = number_before(name, at);
  if (!process || *process > 0xFFFFFFFFull || at < 2 || name[--at] != '.') return std::nullopt;
  return TemporaryName{name.substr(0, at), static_cast<unsigned>(*process)};
}

bool abandoned(Files& files, const TemporaryName& temporary) {
  return temporary.process != files.process_id() && !files.process_running(temporary.process);
}

}  // namespace qiwa
