#pragma once
#include "platform/tapi/LineProvider.h"

namespace platform {

// The provider for a telephon.ini that names no known provider: a telephony
// service without any line devices.
class NoLineProvider : public LineProvider {
public:
    DWORD DeviceCount() const override { return 0; }
    VersionRange DeviceVersions(DWORD) const override { return {}; }
    LONG DeviceName(DWORD, std::string*) const override { return LINEERR_BADDEVICEID; }
    LONG OpenDevice(DWORD) override { return LINEERR_BADDEVICEID; }
    const std::vector<CallId>& CallsOn(DWORD) const override { return none_; }
    const ProviderCall* FindCall(CallId) const override { return nullptr; }
    bool AcceptsDrop() const override { return false; }
    void Drop(CallId) override {}
    void Refresh() override {}
    void SetChangeHandler(std::function<void()>) override {}
    void SetActive(bool) override {}

private:
    std::vector<CallId> none_;
};

}  // namespace platform
