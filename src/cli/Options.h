// The command line of ostrel-check, read into values: what to do, on which
// paths, and how. Only the words are judged here; the files the options name
// are opened later, by the steps that use them.
#pragma once

#include "report/Finding.h"

#include <QString>
#include <QStringList>
#include <QUrl>

namespace cli {

class Emitter;

// Where docs/findings.md is published, unless --findings-url says otherwise.
inline constexpr char kFindingsPage[] = "https://ostrel.org/docs/findings.md";

enum class Action { Check, Dump, Help, Version, Explain, ListFindings, Serve };

struct Options {
    QStringList paths;
    QString rules;     // --rules FILE; empty when not given
    QString strings;   // --strings FILE
    QString resources; // --resources DIR
    bool noDeprecationNotes = false;
    bool noUnknownKeyNotes = false;
    bool buildSettings = false;
    bool noNested = false;
    QString sevenZip; // --7zip PROGRAM
    QString formatName = QStringLiteral("text");
    const Emitter* emitter = nullptr; // the form of --format
    QStringList ignore;
    QString ignoreFile = QStringLiteral(".ostrel-ignore");
    bool ignoreFileGiven = false;
    report::Severity failOn = report::Severity::Error;
    QString rtfd; // --rtfd OUT
    QString explain;
    QUrl findingsPage;
    int jobs = 0; // 0: one per core
    QString color = QStringLiteral("auto");
    bool fix = false;         // --fix
    bool unsafeFixes = false; // --unsafe-fixes
    bool diff = false;        // --diff
};

struct CommandLine {
    Action action = Action::Check;
    Options options;
    // A usage error, without the program's name; empty when there is none.
    QString error;
    // What --help prints.
    QString helpText;
};

// Reads the arguments (the program's name first, as argv has it).
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace cli
