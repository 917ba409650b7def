#pragma once

namespace fotolyx {

// Menu command ids, as the frame's menus carry them.
inline constexpr int CMD_OPEN = 40001;
inline constexpr int CMD_EXIT = 40002;
inline constexpr int CMD_SAVE_AS = 40003;
inline constexpr int CMD_DATA_IN = 40005;
inline constexpr int CMD_UPLOAD_FINE = 40006;
inline constexpr int CMD_COMMUNICATION = 40007;
inline constexpr int CMD_FLASH_ERASE = 40008;
inline constexpr int CMD_UPLOAD_NORMAL = 40009;
inline constexpr int CMD_DELETE_PAGE = 40010;
inline constexpr int CMD_HELP = 40011;
inline constexpr int CMD_ABOUT = 40012;
inline constexpr int CMD_DELETE_ALL = 40013;
inline constexpr int CMD_LIVE_ZOOM_IN = 40014;
inline constexpr int CMD_CLOSE_IMAGE = 40015;
inline constexpr int CMD_IMAGE_ADJUST = 40016;
inline constexpr int CMD_PRINT = 40017;
inline constexpr int CMD_COPY = 40018;
inline constexpr int CMD_RELOAD = 40019;

}  // namespace fotolyx
