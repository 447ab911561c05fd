#include "app/settings_form.hpp"

#include <charconv>

#include "runtime/text.hpp"

namespace qiwa {
namespace {

// "http://host:port/" is how an address is often copied from a browser: the host and port are kept.
Text bare_host(std::string_view address) {
  Text host = trim(address);
  for (std::string_view scheme : {"http://", "HTTP://"})
    if (std::string_view(host).starts_with(scheme)) host.erase(0, scheme.size());
  while (!host.empty() && host.back() == '/') host.pop_back();
  return host;
}

bool valid_port(std::string_view port) {
  int n = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), n);
  return error == std::errc() && end == port.data() + port.size() && n >= 1 && n <= 65535;
}

// A host name or address and an optional port: letters, digits, dots and dashes, or an IPv6 address in
// brackets.
bool valid_host(std::string_view host) {
  std::string_view name = host;
  const std::size_t bracket = host.rfind(']');
  const std::size_t colon = host.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    if (!valid_port(host.substr(colon + 1))) return false;
    name = host.substr(0, colon);
  }
  if (name.empty() || name.size() > 253) return false;
  if (name.front() == '[') return name.size() > 2 && name.back() == ']';
  for (char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
      return false;
  return true;
}

}  // namespace

SettingsForm read_form(const Settings& settings) {
  SettingsForm form;
  form.download_folder = settings.download_folder();
  form.name_pattern = settings.name_pattern();
  form.save_lrc = settings.save_lrc();
  form.quality_kbps = settings.quality_kbps();
  form.level_loudness = settings.level_loudness();
  form.close_to_tray = settings.close_to_tray();
  form.service = settings.service();
  return form;
}

CheckedForm check_form(SettingsForm form, Files& files) {
  form.download_folder = trim(form.download_folder);
  while (form.download_folder.size() > 3 && (form.download_folder.back() == '\\' || form.download_folder.back() == '/'))
    form.download_folder.pop_back();
  form.service = bare_host(form.service);
  if (!valid_host(form.service)) return {form, "服务地址应为“主机”或“主机:端口”。"};
  if (!form.download_folder.empty() && !files.folder_writable(form.download_folder))
    return {form, "无法写入下载文件夹：" + form.download_folder};
  return {form, {}};
}

bool apply_form(Settings& settings, const SettingsForm& form) {
  const SettingsForm now = read_form(settings);
  if (now == form) return false;
  if (now.download_folder != form.download_folder) settings.set_download_folder(form.download_folder);
  if (now.name_pattern != form.name_pattern) settings.set_name_pattern(form.name_pattern);
  if (now.save_lrc != form.save_lrc) settings.set_save_lrc(form.save_lrc);
  if (now.quality_kbps != form.quality_kbps) settings.set_quality_kbps(form.quality_kbps);
  if (now.level_loudness != form.level_loudness) settings.set_level_loudness(form.level_loudness);
  if (now.close_to_tray != form.close_to_tray) settings.set_close_to_tray(form.close_to_tray);
  if (now.service != form.service) settings.set_service(form.service);
  return true;
}

}  // namespace qiwa
