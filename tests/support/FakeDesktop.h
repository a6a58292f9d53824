#pragma once
#include <QStringList>

#include "platform/desktop/Desktop.h"

// Records what would have been opened, started or printed.
class FakeDesktop : public platform::Desktop {
public:
    bool OpenDocument(const QString& path) override { return log("open " + path); }
    bool OpenAddress(const QString& url) override { return log("address " + url); }
    bool StartProgram(const QString& program, const QStringList& args) override {
        return log("start " + program + " " + args.join(' '));
    }
    QString FindProgram(const QString& name) const override {
        return programs.contains(name) ? "/usr/bin/" + name : QString();
    }
    bool PrintImage(const QImage& image) override {
        printed.push_back(image);
        return log("print");
    }
    QStringList calls;
    QStringList programs;
    std::vector<QImage> printed;
    bool result = true;

private:
    bool log(const QString& call) {
        calls << call;
        return result;
    }
};
