#include "app/settings_form.hpp"

#include "app/host.hpp"
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

}  // namespace

SettingsForm read_form(const Settings& settings) {
  SettingsForm form;
  form.download_folder = settings.download_folder();
  form.name_pattern = settings.name_pattern();
  form.save_lrc = settings.save_lrc();
  form.quality_kbps = settings.quality_kbps();
  form.level_loudness = settings.level_loudness();
  form.close_to_tray = settings.close_to_tray();
  form.auto_next = settings.auto_next();
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
  if (now.auto_next != form.auto_next) settings.set_auto_next(form.auto_next);
  if (now.service != form.service) settings.set_service(form.service);
  return true;
}

}  // namespace qiwa
