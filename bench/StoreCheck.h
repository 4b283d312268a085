#pragma once

#include "LoadPlan.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

// What the workstations of a load run reported, as the run writes it into
// its journal: one line per report, "WORKSTATION<TAB>KIND<TAB>...", after a
// first line "plan<TAB>WORKSTATIONS<TAB>SUBJECTS<TAB>COLLIDE".
struct LoadJournal {
    struct Subject {
        QString registered; // stored, duplicate or refused; empty: never got that far
        QStringList typed;  // Code, FName, LName, Jens, Sen, Taahol, Tahsil, Group
        int saved = -1;     // 1: the test was saved; 0: it was not; -1: never got that far
        bool scored = false;
        QStringList scores; // as the scoring window showed them
        QStringList said;   // notices and message boxes, "kind<TAB>text"
    };
    struct Workstation {
        QMap<int, Subject> subjects;
        bool done = false;
        int exitStatus = -1; // -1: not recorded
        QString failure;
    };

    LoadPlan plan;
    QList<Workstation> workstations;

    // Takes one line a workstation reported (without its number).
    void take(int workstation, const QString& line);
    bool read(const QString& file, QString* error);
    static QString planLine(const LoadPlan& plan);
};

// One thing the store or the run got wrong.
struct StoreFault {
    QString kind; // a short name that groups the faults, e.g. "code key missing"
    QString text;
};

struct StoreCheckResult {
    QList<StoreFault> faults;
    qint64 subjects = 0, sheets = 0, administrations = 0, keys = 0; // rows read
    bool read = false; // false: the store could not be read (faults say why)
};

// Reads database on the server the libpq variables name and checks it against
// the plan and the journal: every subject exactly once, as typed, with its
// answer sheet and its administrations exactly as answered, every code key
// there and right, no two codes that read the same, nothing the run did not
// register, and the scores shown equal to the sums of the answers.
StoreCheckResult checkLoadStore(const QString& database, const LoadJournal& journal);

// The faults by kind: a count and the first few of each.
QStringList describeFaults(const QList<StoreFault>& faults, int examplesPerKind = 5);
