#include "registry/SubjectCorrection.h"

#include "access/Access.h"
#include "data/SubjectStore.h"
#include "platform/Platform.h"
#include "ui/AccessibleNames.h"
#include "ui/DataFailures.h"
#include "ui/DigitsOnly.h"
#include "ui/FieldBinding.h"
#include "ui/FormKit.h"
#include "ui/Notice.h"
#include "ui/SkinLabel.h"
#include "ui/Skins.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

using Registration::Field;
using Registration::FieldCount;

namespace {

QString title() {
    return QStringLiteral("اصلاح مشخصات آزمودني");
}

QComboBox* makeList(const QString& name, const QStringList& items, QWidget* parent, int left,
                    int top) {
    auto* list = new QComboBox(parent);
    list->setObjectName(name);
    list->setFont(formFont());
    list->setEditable(false); // chosen from the list, as at registration
    list->addItems(items);
    place(list, left, top, 1620, 435);
    return list;
}

// Shows text as the list's choice. A stored text that is none of the choices
// (an older file's) is offered as it is, so that an untouched field stays
// what it was.
void choose(QComboBox* list, const QString& text) {
    int index = list->findText(text, Qt::MatchExactly);
    if (index < 0 && !text.isEmpty()) {
        list->addItem(text);
        index = list->count() - 1;
    }
    list->setCurrentIndex(index);
}

} // namespace

SubjectCorrection::SubjectCorrection(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("SubjectCorrection"));
    setWindowTitle(title());
    setClientSize(this, 7020, 3420);
    setFont(formFont());

    m_theme = makeDataControl(QStringLiteral("Theme"), this, QStringLiteral("themeData"));
    m_themeNumber = makeHiddenBox(QStringLiteral("themeNumber"), this);
    bind(m_theme, m_themeNumber, QStringLiteral("TH"));
    m_skin = new SkinEngine(this);

    // Two fields a row, read from right to left in the registration's order;
    // each caption stands to the right of its field.
    constexpr int Top = 300, Row = 540, BoxWidth = 1620, CaptionWidth = 1275;
    const int boxLeft[] = {3840, 360};
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignAbsolute;
    const struct {
        Field field;
        const char* name;
    } fields[] = {{Field::Code, "codeBox"},         {Field::FirstName, "firstNameBox"},
                  {Field::LastName, "lastNameBox"}, {Field::Gender, "genderList"},
                  {Field::Age, "ageBox"},           {Field::MaritalStatus, "maritalList"},
                  {Field::Group, "groupList"},      {Field::Education, "educationBox"}};
    QList<QWidget*> tabOrder;
    for (int i = 0; i < FieldCount; ++i) {
        const int left = boxLeft[i % 2];
        const int top = Top + (i / 2) * Row;
        const QString name = QString::fromLatin1(fields[i].name);
        QWidget* field = nullptr;
        switch (fields[i].field) {
        case Field::Gender:
            field = genderList = makeList(name, Registration::genderChoices(), this, left, top);
            break;
        case Field::MaritalStatus:
            field = maritalList = makeList(name, Registration::maritalChoices(), this, left, top);
            break;
        case Field::Group:
            field = groupList = makeList(name, Registration::groupChoices(), this, left, top);
            break;
        default: {
            const bool centred = fields[i].field == Field::Code || fields[i].field == Field::Age;
            QLineEdit* text = makeTextBox(name, this, left, top, BoxWidth, 435,
                                          centred ? Qt::AlignHCenter : right);
            if (fields[i].field == Field::Code)
                codeBox = text;
            else if (fields[i].field == Field::FirstName)
                firstNameBox = text;
            else if (fields[i].field == Field::LastName)
                lastNameBox = text;
            else if (fields[i].field == Field::Age)
                ageBox = text;
            else
                educationBox = text;
            field = text;
        }
        }
        auto* caption = new SkinLabel(name + QStringLiteral("Caption"),
                                      Registration::caption(fields[i].field), this);
        place(caption, left + BoxWidth + 60, top + 15, CaptionWidth, 405);
        nameByCaption(field, caption);
        m_captions[int(fields[i].field)] = caption;
        tabOrder.append(field);
    }
    makeDigitsOnly(ageBox, this, 2);

    saveCorrection = makeButton(QStringLiteral("saveCorrection"), QStringLiteral("ذخيره"), this,
                                3840, 2580, 1095, 555);
    cancelCorrection = makeButton(QStringLiteral("cancelCorrection"), QStringLiteral("انصراف"),
                                  this, 2640, 2580, 1095, 555);
    tabOrder << saveCorrection << cancelCorrection;
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    saveCorrection->setDefault(true);

    connect(saveCorrection, &QPushButton::clicked, this, &SubjectCorrection::saveClick);
    connect(cancelCorrection, &QPushButton::clicked, this, &SubjectCorrection::cancelClick);

    placeWindow(this, 2940, 1500);
    ApplyTheme(this, m_themeNumber->text(), m_skin);
}

std::optional<QString> SubjectCorrection::correct(QWidget* owner, const QString& code) {
    if (!Access::permit(Action::CorrectSubject, owner, code))
        return std::nullopt;
    SubjectCorrection window(owner);
    if (!window.load(code))
        return std::nullopt;
    window.exec();
    // The keyboard goes back to the window it was opened from.
    if (owner)
        owner->activateWindow();
    if (window.correctedCode().isEmpty())
        return std::nullopt;
    return window.correctedCode();
}

bool SubjectCorrection::load(const QString& code) {
    QString error;
    Correction::Subject subject;
    if (!Correction::read(code, &subject, &error)) {
        platform().messageBox(parentWidget(), QStringLiteral("خطا"),
                              SubjectStore::current().failureMessage(error), QMessageBox::Critical);
        return false;
    }
    if (subject.id == 0) {
        ShowNotice(parentWidget(), QStringLiteral("فردي با اين مشخصات وجود ندارد"));
        return false;
    }
    fill(subject);
    return true;
}

void SubjectCorrection::fill(const Correction::Subject& subject) {
    m_read = subject;
    codeBox->setText(subject.texts[int(Field::Code)]);
    firstNameBox->setText(subject.texts[int(Field::FirstName)]);
    lastNameBox->setText(subject.texts[int(Field::LastName)]);
    choose(genderList, subject.texts[int(Field::Gender)]);
    ageBox->setText(subject.texts[int(Field::Age)]);
    choose(maritalList, subject.texts[int(Field::MaritalStatus)]);
    choose(groupList, subject.texts[int(Field::Group)]);
    educationBox->setText(subject.texts[int(Field::Education)]);
    codeBox->setFocus();
}

Registration::FieldTexts SubjectCorrection::texts() const {
    Registration::FieldTexts t;
    t[int(Field::Code)] = codeBox->text();
    t[int(Field::FirstName)] = firstNameBox->text();
    t[int(Field::LastName)] = lastNameBox->text();
    t[int(Field::Gender)] = genderList->currentText();
    t[int(Field::Age)] = ageBox->text();
    t[int(Field::MaritalStatus)] = maritalList->currentText();
    t[int(Field::Group)] = groupList->currentText();
    t[int(Field::Education)] = educationBox->text();
    return t;
}

QWidget* SubjectCorrection::box(Field field) const {
    QWidget* const boxes[] = {codeBox, firstNameBox, lastNameBox, genderList,
                              ageBox,  maritalList,  groupList,   educationBox};
    return boxes[int(field)];
}

void SubjectCorrection::saveClick() {
    const Registration::FieldTexts corrected = texts();
    if (const std::optional<Field> missing = Registration::firstMissing(corrected)) {
        ShowNotice(this, Registration::missingNotice(*missing));
        box(*missing)->setFocus();
        return;
    }
    const Correction::Outcome outcome = Correction::store(m_read, corrected);
    switch (outcome.result) {
    case Correction::Result::Corrected:
        m_corrected = corrected[int(Field::Code)];
        accept();
        ShowNotice(parentWidget(), QStringLiteral("مشخصات آزمودني اصلاح شد"));
        return;
    case Correction::Result::Unchanged:
        // Nothing was changed: nothing to store, and nothing to record.
        reject();
        return;
    case Correction::Result::Duplicate:
        ShowNotice(this, Registration::duplicateCodeNotice());
        codeBox->setFocus();
        return;
    case Correction::Result::LookAlike:
        platform().messageBox(this, QStringLiteral("پيام"),
                              Registration::lookAlikeCodeMessage(outcome.lookAlike),
                              QMessageBox::Warning);
        codeBox->setFocus();
        return;
    case Correction::Result::ChangedElsewhere:
    case Correction::Result::Replaced:
        platform().messageBox(this, QStringLiteral("پيام"), Correction::refusalMessage(outcome),
                              QMessageBox::Warning);
        return;
    case Correction::Result::Failed:
    case Correction::Result::Unrecorded:
        platform().messageBox(this, QStringLiteral("خطا"), Correction::refusalMessage(outcome),
                              QMessageBox::Critical);
        return;
    }
}

void SubjectCorrection::cancelClick() {
    reject();
}

} // namespace velmora
