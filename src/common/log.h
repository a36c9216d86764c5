#pragma once

#include <string_view>

namespace qz::log {

// One line on standard error per event. Each prefix has its own helper so the
// exact texts live in one place; the line feed is added here.
void line(std::string_view prefix, std::string_view message);

inline void framebuffer(std::string_view m) { line("[Framebuffer] ", m); }
inline void input(std::string_view m) { line("[Input] ", m); }
inline void nuvalto(std::string_view m) { line("[Nuvalto] ", m); }
inline void error(std::string_view m) { line("[Error] ", m); }
inline void history(std::string_view m) { line("[History] ", m); }
inline void ota(std::string_view m) { line("[OTA] ", m); }
inline void playback(std::string_view m) { line("[Playback] ", m); }
inline void player(std::string_view m) { line("[Player] ", m); }
inline void proxy(std::string_view m) { line("[Proxy] ", m); }
inline void native(std::string_view m) { line("[Native] ", m); }
// A line without a prefix (banner, exit line).
inline void plain(std::string_view m) { line("", m); }

}  // namespace qz::log
