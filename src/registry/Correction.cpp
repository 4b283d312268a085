#include "registry/Correction.h"

#include "access/Audit.h"
#include "data/CodeKeys.h"
#include "data/Database.h"
#include "data/DirectionalText.h"
#include "data/SubjectStore.h"

#include <QStringList>

namespace velmora {

namespace Correction {

using Registration::Field;
using Registration::FieldCount;

namespace {

Field fieldAt(int index) {
    return static_cast<Field>(index);
}

// The fields that name the person: the trail says only that they changed.
bool namesThePerson(Field field) {
    return field == Field::FirstName || field == Field::LastName;
}

Outcome failed(const QString& detail, Result result = Result::Failed) {
    Outcome out;
    out.result = result;
    out.detail = detail;
    return out;
}

// Why an update that matched no row matched none: the row went or now holds
// another code (a restore or an erasure elsewhere), or it is this subject's
// and another workstation changed one of its fields.
Outcome unmatched(SubjectStore& store, const Subject& read) {
    StoreQuery q(store);
    if (!q.exec(QStringLiteral("SELECT \"Code\" FROM \"IDE\" WHERE \"ID\" = ?"), {read.id}))
        return failed(q.error());
    const bool found = q.next();
    if (!found && q.failure() != StoreFailure::None)
        return failed(q.error());
    if (!found || q.value(0).toString() != read.texts[int(Field::Code)])
        return failed(QString(), Result::Replaced);
    return failed(QString(), Result::ChangedElsewhere);
}

// Whether a row of the subject tables other than the subject's own already
// holds code: another registration, a sheet or administrations left without
// one. Those would become this subject's.
bool codeTaken(SubjectStore& store, const QString& code, bool* taken, QString* error) {
    StoreQuery q(store);
    if (!q.exec(QStringLiteral("SELECT 1 FROM \"IDE\" WHERE \"Code\" = ? UNION ALL SELECT 1 FROM "
                               "\"Answer\" WHERE \"Code\" = ? UNION ALL SELECT 1 FROM \"History\" "
                               "WHERE \"Code\" = ? LIMIT 1"),
                {code, code, code})) {
        *error = q.error();
        return false;
    }
    *taken = q.next();
    if (!*taken && q.failure() != StoreFailure::None) {
        *error = q.error();
        return false;
    }
    return true;
}

// Runs one statement of the correction; a failure ends the transaction.
bool run(SubjectStore& store, const QString& sql, const QVariantList& values, Outcome* out,
         int* rows = nullptr) {
    StoreQuery q(store);
    if (!q.exec(sql, values)) {
        out->result =
            q.failure() == StoreFailure::DuplicateKey ? Result::Duplicate : Result::Failed;
        out->detail = q.error();
        return false;
    }
    if (rows)
        *rows = q.numRowsAffected();
    return true;
}

} // namespace

QString column(Field field) {
    switch (field) {
    case Field::Code:
        return QStringLiteral("Code");
    case Field::FirstName:
        return QStringLiteral("FName");
    case Field::LastName:
        return QStringLiteral("LName");
    case Field::Gender:
        return QStringLiteral("Jens");
    case Field::Age:
        return QStringLiteral("Sen");
    case Field::MaritalStatus:
        return QStringLiteral("Taahol");
    case Field::Group:
        return QStringLiteral("Group");
    case Field::Education:
        return QStringLiteral("Tahsil");
    }
    return QString();
}

bool read(const QString& code, Subject* subject, QString* error) {
    *subject = Subject();
    SubjectStore& store = SubjectStore::current();
    store.catchUp();
    subject->generation = store.generation();
    QStringList columns{QStringLiteral("\"ID\"")};
    for (int i = 0; i < FieldCount; ++i)
        columns.append(Database::quoted(column(fieldAt(i))));
    StoreQuery q(store);
    if (!q.exec(QStringLiteral("SELECT %1 FROM \"IDE\" WHERE \"Code\" = ?")
                    .arg(columns.join(QStringLiteral(", "))),
                {code})) {
        *error = q.error();
        return false;
    }
    if (!q.next()) {
        if (q.failure() == StoreFailure::None)
            return true;
        *error = q.error();
        return false;
    }
    subject->id = q.value(0).toLongLong();
    for (int i = 0; i < FieldCount; ++i) {
        const QVariant value = q.value(i + 1);
        subject->stored[i] = value.isNull() ? QVariant() : QVariant(value.toString());
        subject->texts[i] = value.toString();
    }
    return true;
}

Outcome store(const Subject& read, const Registration::FieldTexts& corrected) {
    Outcome out;
    QList<Field> changed;
    for (int i = 0; i < FieldCount; ++i)
        if (corrected[i] != read.texts[i])
            changed.append(fieldAt(i));
    if (changed.isEmpty()) {
        out.result = Result::Unchanged;
        return out;
    }

    SubjectStore& store = SubjectStore::current();
    StoreTransaction transaction(store);
    if (!transaction.begun())
        return failed(transaction.error());
    // A restore elsewhere since the window read the row may have given its
    // key to another subject.
    store.catchUp();
    if (read.generation != store.generation())
        return failed(QString(), Result::Replaced);

    const QString& oldCode = read.texts[int(Field::Code)];
    const QString& newCode = corrected[int(Field::Code)];
    const bool codeChanged = changed.contains(Field::Code);
    if (codeChanged) {
        // Checked inside the transaction, so no workstation can store the
        // code between the check and the correction.
        bool taken = false;
        if (!codeTaken(store, newCode, &taken, &out.detail))
            return failed(out.detail);
        if (taken) {
            out.result = Result::Duplicate;
            return out;
        }
        if (!CodeKeys::findLookAlike(newCode, &out.lookAlike, &out.detail, read.id))
            return failed(out.detail);
        if (!out.lookAlike.isEmpty()) {
            out.result = Result::LookAlike;
            return out;
        }
    }

    // The row must still be the one read: every field as the window saw it.
    QStringList assignments;
    QVariantList values;
    for (const Field field : std::as_const(changed)) {
        assignments.append(Database::quoted(column(field)) + QStringLiteral(" = ?"));
        values.append(corrected[int(field)]);
    }
    QStringList conditions{QStringLiteral("\"ID\" = ?")};
    values.append(read.id);
    for (int i = 0; i < FieldCount; ++i) {
        conditions.append(store.sameValueSql(Database::quoted(column(fieldAt(i)))));
        values.append(read.stored[i]);
    }
    int rows = 0;
    if (!run(store,
             QStringLiteral("UPDATE \"IDE\" SET %1 WHERE %2")
                 .arg(assignments.join(QStringLiteral(", ")),
                      conditions.join(QStringLiteral(" AND "))),
             values, &out, &rows))
        return out;
    if (rows == 0)
        return unmatched(store, read);

    // The answer sheet carries the code and the group as well.
    QStringList sheet;
    QVariantList sheetValues;
    if (codeChanged) {
        sheet.append(QStringLiteral("\"Code\" = ?"));
        sheetValues.append(newCode);
    }
    if (changed.contains(Field::Group)) {
        sheet.append(QStringLiteral("\"Group\" = ?"));
        sheetValues.append(corrected[int(Field::Group)]);
    }
    if (!sheet.isEmpty()) {
        sheetValues.append(oldCode);
        if (!run(store,
                 QStringLiteral("UPDATE \"Answer\" SET %1 WHERE \"Code\" = ?")
                     .arg(sheet.join(QStringLiteral(", "))),
                 sheetValues, &out))
            return out;
    }
    if (codeChanged) {
        // The administrations stay the subject's; the store marked the key
        // of the changed code as still to be worked out, and it is worked
        // out here, as a registration does.
        if (!run(store, QStringLiteral("UPDATE \"History\" SET \"Code\" = ? WHERE \"Code\" = ?"),
                 {newCode, oldCode}, &out))
            return out;
        if (!CodeKeys::write(store, read.id, newCode, &out.detail))
            return failed(out.detail);
    }

    // The entry joins the transaction: a correction is never stored unrecorded.
    if (!Audit::record(Action::CorrectSubject, newCode, velmora::Outcome::Done,
                       auditDetail(read.texts, corrected), &out.detail)) {
        transaction.rollback();
        return failed(out.detail, Result::Unrecorded);
    }
    if (!transaction.commit())
        return failed(transaction.error());
    out.result = Result::Corrected;
    return out;
}

QString auditDetail(const Registration::FieldTexts& before, const Registration::FieldTexts& after) {
    // The code last: the entry is filed under the corrected one.
    QStringList parts;
    const auto add = [&](Field field) {
        const int i = int(field);
        if (before[i] == after[i])
            return;
        parts.append(namesThePerson(field)
                         ? Registration::fieldName(field)
                         : QStringLiteral("%1 (پيشين: %2)")
                               .arg(Registration::fieldName(field), isolatedText(before[i])));
    };
    for (int i = 0; i < FieldCount; ++i)
        if (fieldAt(i) != Field::Code)
            add(fieldAt(i));
    add(Field::Code);
    return QStringLiteral("اصلاح: ") + parts.join(QStringLiteral("، "));
}

QString refusalMessage(const Outcome& outcome) {
    const QString nothing = QStringLiteral("اصلاح ذخيره نشد و هيچ چيز تغيير نکرد.");
    switch (outcome.result) {
    case Result::ChangedElsewhere:
        return QStringLiteral("مشخصات اين آزمودني پس از باز شدن اين پنجره در ايستگاه ديگري تغيير "
                              "کرده است. ") +
               nothing +
               QStringLiteral(" پنجره را ببنديد و دوباره باز کنيد تا مشخصات تازه را ببينيد.");
    case Result::Replaced:
        return QStringLiteral("اين آزمودني پس از باز شدن اين پنجره در ايستگاه ديگري برداشته يا "
                              "جايگزين شده است. ") +
               nothing;
    case Result::Unrecorded:
        return nothing + QStringLiteral("\n\n") + outcome.detail;
    case Result::Failed:
        return nothing + QStringLiteral("\n\n") +
               SubjectStore::current().failureMessage(outcome.detail);
    case Result::Corrected:
    case Result::Unchanged:
    case Result::Duplicate:
    case Result::LookAlike:
        break;
    }
    return QString();
}

} // namespace Correction

} // namespace velmora
