#pragma once
// The whole program with its main window, on the offscreen platform.
#include <QLabel>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "ProgramHarness.h"
#include "core/frmVastrel.h"

struct WindowHarness : ProgramHarness {
    using ProgramHarness::ProgramHarness;
    ~WindowHarness() {
        if (window) window->Form_Unload();
    }

    std::unique_ptr<frmVastrel> window;
    bool started = false;

    frmVastrel& Start(const std::string& command = "") {
        window = std::make_unique<frmVastrel>(program);
        started = window->Form_Load(command);
        return *window;
    }

    // The window's controls, as the operator sees them.
    QString Label(const char* name) const { return window->findChild<QLabel*>(name)->text(); }
    QTimer& Timer1() const { return *window->findChild<QTimer*>("Timer1"); }
    std::vector<std::string> Column(int column) const {
        std::vector<std::string> out;
        const QAbstractItemModel* rows = window->findChild<QTreeView*>("lvOutLog")->model();
        for (int r = 0; r < rows->rowCount(); ++r)
            out.push_back(rows->index(r, column).data().toString().toLatin1().toStdString());
        return out;
    }
};
