// Where the window's files go: the user's standard folders with the home
// folder behind them, and the first name not taken yet.
#pragma once

#include <QDir>
#include <QStandardPaths>
#include <QString>

#include <functional>
#include <string>

// `given` when it is not empty (a test's or a setting's folder); else the
// user's folder of that kind when it exists; else the home folder.
QString cw_standard_folder(QStandardPaths::StandardLocation location, const QString& given);

// The first of names(0), names(1), ... that no file in `folder` has, trying
// at most 1000; empty when every one is taken.
QString cw_first_free_path(const QDir& folder, const std::function<std::string(int)>& names);
