#pragma once
// The record one reading produces and the window receives, and the worker's way to log.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

struct Reading {
    bool ok = false;
    std::wstring message;   // shown when ok is false
    std::string make;       // 7-bit texts from the camera's DeviceInfo
    std::string model;
    std::string firmware;
    std::string serial;
    std::string source;     // which vendor channel and property gave the count
    std::uint32_t count = 0;
};

// Takes one log line without terminator; the worker's only way to write to the log.
using LogSink = std::function<void(const std::wstring&)>;

// One wide character per byte. The texts of a Reading hold 7-bit characters only.
std::wstring widen(std::string_view text);

struct DeviceInfo;
// The log line of a decoded DeviceInfo, on either route: "Model: " + model + "  firmware " +
// version + "  ops " + the operation count + "  props " + the property count.
std::wstring modelLine(const DeviceInfo& info);
