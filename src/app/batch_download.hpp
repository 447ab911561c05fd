#pragma once
// "下载选中": the songs of the rows selected are downloaded where a played song's go, without playing
// them, two at a time; each row shows where its song stands. A play's own download never waits for them.
#include "app/context.hpp"

namespace qiwa {

inline constexpr int kBatchDownloadsAtOnce = 2;
// What a row shows of its song's download (a running one shows its percent, "37%").
inline constexpr const char* kBatchWaiting = "等待";
inline constexpr const char* kBatchDone = "完成";
inline constexpr const char* kBatchFailed = "失败";

// Queues the selected rows' songs (those not queued or running already) and starts as many as may run.
void download_selected(AppContext& app);
// The rows shown again (another list, a search's rows) show the states of their songs' downloads.
void show_download_states(AppContext& app);
// A row's title cell as it shows a state: "[37%] 晴天".
Text title_with_state(std::string_view title, std::string_view state);

}  // namespace qiwa
