// Command-line commands of the vaccora binary. Each returns the exit code:
// 0 success, 1 runtime error (text on stderr), 2 wrong usage.
#pragma once

#include <QStringList>

struct TCommandContext {
    QStringList args;      // arguments after the command name (common options removed)
    QString databaseName;  // resolved from --database / VACCORA_DATABASE / default
};

int cmdInitDb(const TCommandContext& ctx);
int cmdFarms(const TCommandContext& ctx);
int cmdReport(const TCommandContext& ctx);   // cli/ReportCommand.cpp
int cmdImport(const TCommandContext& ctx);   // cli/ImportCommand.cpp
