#pragma once

// How the program and the screen-saver helper find each other on the session bus. The helper owns the
// name for as long as it holds the screen saver off, so the name is both the "switched off" state and the
// lock that keeps a second helper from starting.
namespace dawdlex::platform::screensaveroff {

inline constexpr char kBusName[] = "example.pendlewick.Dawdlex.ScreenSaverOff";
inline constexpr char kObjectPath[] = "/example/pendlewick/Dawdlex/ScreenSaverOff";
inline constexpr char kInterface[] = "example.pendlewick.Dawdlex.ScreenSaverOff";
// Releases everything the helper holds; the helper then ends and its name goes.
inline constexpr char kReleaseMethod[] = "Release";

// The id and reason the helper gives the desktop with each inhibit.
inline constexpr char kApplicationId[] = "example.pendlewick.Dawdlex";
inline constexpr char kReason[] = "Screen saver switched off in Dawdlex";

} // namespace dawdlex::platform::screensaveroff
