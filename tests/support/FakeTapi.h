#pragma once
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/tapi/Tapi32.h"

// A telephony service held in memory: lines, their calls and every call the
// program makes, so a test can assert what was (or was not) asked.
class FakeTapi : public platform::Tapi32 {
public:
    struct Line {
        std::string name;
        bool capsFail = false;
        bool openFails = false;
        int calls = 0;
        platform::DWORD version = 0x00020002;
    };
    struct Call {
        std::string number, name;
        bool infoFails = false;
        platform::DWORD neededSize = 0;  // 0: the real size
    };

    std::vector<Line> lines;
    std::map<platform::HCALL, Call> calls;
    std::vector<std::string> log;
    platform::HLINEAPP appHandle = 0x4242;
    bool initFails = false;
    platform::LONG dropResult = platform::LINEERR_NOTOWNER;
    platform::LONG closeResult = 0;
    platform::LINECALLBACK callback;
    bool initialized = false;

    void Post(platform::DWORD device, platform::DWORD msg, platform::DWORD p1,
              platform::DWORD p2 = 0) {
        if (callback) callback(device, msg, 0, p1, p2, 0);
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& entry : log) n += entry.rfind(prefix, 0) == 0;
        return n;
    }

    platform::LONG lineInitialize(platform::HLINEAPP* app, platform::HINSTANCE,
                                  platform::LINECALLBACK cb, const std::string& name,
                                  platform::DWORD* devices) override {
        log.push_back("lineInitialize " + name);
        if (initFails) return platform::LINEERR_NODEVICE;
        callback = std::move(cb);
        initialized = true;
        *app = appHandle;
        *devices = static_cast<platform::DWORD>(lines.size());
        return 0;
    }
    platform::LONG lineNegotiateAPIVersion(platform::HLINEAPP, platform::DWORD dev, platform::DWORD,
                                           platform::DWORD, platform::DWORD* version,
                                           platform::LINEEXTENSIONID*) override {
        log.push_back("lineNegotiateAPIVersion " + std::to_string(dev));
        if (dev >= lines.size() || lines[dev].version == 0) return platform::LINEERR_BADDEVICEID;
        *version = lines[dev].version;
        return 0;
    }
    platform::LONG lineGetDevCaps(platform::HLINEAPP, platform::DWORD dev, platform::DWORD,
                                  platform::DWORD, platform::BYTE* caps) override {
        log.push_back("lineGetDevCaps " + std::to_string(dev));
        if (dev >= lines.size() || lines[dev].capsFail) return platform::LINEERR_NODEVICE;
        const platform::DWORD total = platform::ReadDword(caps, 240, 0);
        const std::string& name = lines[dev].name;
        const platform::DWORD size = static_cast<platform::DWORD>(name.size() + 1);
        platform::WriteDword(caps, total, 4, 240 + size);
        platform::WriteDword(caps, total, 8, std::min(total, 240 + size));
        platform::WriteDword(caps, total, 32, size);
        platform::WriteDword(caps, total, 36, 240);
        if (240 + size <= total) std::memcpy(caps + 240, name.c_str(), size);
        return 0;
    }
    platform::LONG lineShutdown(platform::HLINEAPP app) override {
        log.push_back("lineShutdown " + std::to_string(app));
        return app == appHandle && initialized ? 0 : platform::LINEERR_INVALAPPHANDLE;
    }
    platform::LONG lineOpen(platform::HLINEAPP, platform::DWORD dev, platform::HLINE* line,
                            platform::DWORD, platform::DWORD, platform::DWORD_PTR,
                            platform::DWORD privileges, platform::DWORD, const void*) override {
        log.push_back("lineOpen " + std::to_string(dev) + " " + std::to_string(privileges));
        if (dev >= lines.size()) return platform::LINEERR_BADDEVICEID;
        if (lines[dev].openFails) return platform::LINEERR_RESOURCEUNAVAIL;
        *line = 100 + dev;
        return 0;
    }
    platform::LONG lineGetNewCalls(platform::HLINE line, platform::DWORD, platform::DWORD,
                                   platform::BYTE* list) override {
        log.push_back("lineGetNewCalls " + std::to_string(line));
        const platform::DWORD total = platform::ReadDword(list, 24, 0);
        const int n = lines.at(line - 100).calls;
        const platform::DWORD needed = 24 + 4 * n;
        platform::WriteDword(list, total, 4, needed);
        platform::WriteDword(list, total, 12, total >= needed ? n : 0);
        return 0;
    }
    platform::LONG lineClose(platform::HLINE line) override {
        log.push_back("lineClose " + std::to_string(line));
        return closeResult;
    }
    platform::LONG lineGetCallInfo(platform::HCALL call, platform::BYTE* info) override {
        log.push_back("lineGetCallInfo " + std::to_string(call));
        auto it = calls.find(call);
        if (it == calls.end() || it->second.infoFails) return platform::LINEERR_INVALCALLHANDLE;
        const platform::DWORD total = platform::ReadDword(info, 296, 0);
        const Call& c = it->second;
        const platform::DWORD numberSize = c.number.empty() ? 0 : c.number.size() + 1;
        const platform::DWORD nameSize = c.name.empty() ? 0 : c.name.size() + 1;
        const platform::DWORD needed = c.neededSize ? c.neededSize : 296 + numberSize + nameSize;
        platform::WriteDword(info, total, 4, needed);
        lastCallInfoTotal = total;
        if (total < 296 + numberSize + nameSize) return 0;
        platform::WriteDword(info, total, 112, numberSize);
        platform::WriteDword(info, total, 116, 296);
        platform::WriteDword(info, total, 120, nameSize);
        platform::WriteDword(info, total, 124, 296 + numberSize);
        if (numberSize) std::memcpy(info + 296, c.number.c_str(), numberSize);
        if (nameSize) std::memcpy(info + 296 + numberSize, c.name.c_str(), nameSize);
        return 0;
    }
    platform::LONG lineDrop(platform::HCALL call, const char*, platform::DWORD) override {
        log.push_back("lineDrop " + std::to_string(call));
        return dropResult;
    }
    platform::LONG lineDeallocateCall(platform::HCALL call) override {
        log.push_back("lineDeallocateCall " + std::to_string(call));
        return 0;
    }
    platform::LONG lineGetRequest(platform::HLINEAPP, platform::DWORD, platform::BYTE*) override {
        log.push_back("lineGetRequest");
        return platform::LINEERR_NOTREGISTERED;
    }
    platform::DWORD lastCallInfoTotal = 0;
};
