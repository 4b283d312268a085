#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What each workstation of a load run types, worked out from its number and
// the subject's, so that the check afterwards knows every value without
// asking the workstations. Workstations are numbered from 0, subjects from 1.
struct LoadPlan {
    int workstations = 2;
    int subjects = 10;
    // Pairs of workstations (0 and 1, 2 and 3, ...) register and test the
    // same codes at the same moment.
    bool collide = false;

    // The workstation a code belongs to: itself, or its pair when they collide.
    int owner(int workstation) const { return collide ? workstation / 2 : workstation; }
    int owners() const { return collide ? workstations / 2 : workstations; }
    QList<int> workstationsOf(int owner) const {
        return collide ? QList<int>{2 * owner, 2 * owner + 1} : QList<int>{owner};
    }

    // The code of an owner's subject. It begins with the Arabic kaf, which
    // reads as the Persian one: the stored code key differs from the code.
    static QString code(int owner, int subject) {
        return QString(QChar(0x0643)) + QStringLiteral("%1-%2").arg(owner + 1).arg(subject);
    }

    // The registration a workstation types for a subject. The lists are
    // chosen by place; partners of a pair choose different groups, so that a
    // registration row and an answer sheet from different workstations show.
    struct Registration {
        QString firstName, lastName, age, education;
        int gender = 0, marital = 0, group = 0;
    };
    static Registration registration(int workstation, int subject) {
        Registration r;
        r.firstName = QStringLiteral("Desk%1").arg(workstation + 1);
        r.lastName = QStringLiteral("Subject%1").arg(subject);
        r.age = QString::number(18 + (workstation * 7 + subject) % 60);
        r.education = QStringLiteral("BA-%1").arg(workstation + 1);
        r.gender = (workstation + subject) % 2;
        r.marital = subject % 2;
        r.group = (workstation + subject) % 7;
        return r;
    }

    // The answers (1 to 5) to items 1..14; the partners of a pair give the
    // same ones, so that whichever saves last leaves a sheet as typed.
    static QList<int> answers(int owner, int subject) {
        QList<int> values;
        for (int item = 1; item <= 14; ++item)
            values.append(1 + (owner * 2 + subject * 3 + item * item) % 5);
        return values;
    }

    // The items each of the seven scales sums, in the order of the scoring
    // window's boxes: written out here rather than read from the program's
    // scale table, so that the check does not take the program's word.
    static QList<QList<int>> scaleItems() {
        return {{1, 2}, {3, 4, 9}, {5, 6}, {7, 8}, {10, 12}, {13, 14}, {11}};
    }
    static QStringList scores(const QList<int>& answers) {
        QStringList sums;
        for (const QList<int>& items : scaleItems()) {
            int sum = 0;
            for (int item : items)
                sum += answers.value(item - 1);
            sums.append(QString::number(sum));
        }
        return sums;
    }
};
