#pragma once
#include <string>
#include <vector>

#include "platform/sound/Sound.h"

// Records every sound request.
class FakeSound : public platform::Sound {
public:
    platform::BOOL PlaySoundA(const std::string& name, platform::HMODULE module,
                              platform::DWORD flags) override {
        requests.push_back(name + "/" + std::to_string(module) + "/" + std::to_string(flags));
        return 1;
    }
    platform::BOOL Beep() override {
        requests.push_back("beep");
        return 1;
    }
    std::vector<std::string> requests;
};
