#pragma once

#include "registry/Correction.h"

#include <QDialog>
#include <array>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace velmora {

class DataControl;
class SkinEngine;
class SkinLabel;

// The correction of a registration: the subject's registration fields as
// stored, to be corrected and stored again (Correction::store), with the
// checks of a new registration. Opened from the code lookup and the scoring
// window over the subject they show.
class SubjectCorrection : public QDialog {
    Q_OBJECT
public:
    explicit SubjectCorrection(QWidget* owner = nullptr);

    // Reads the subject with code into the boxes; false (the operator told)
    // when the store could not be read or nobody has the code.
    bool load(const QString& code);

    // Asks the role, opens the correction of the subject with code over
    // owner and returns the code the subject has once a correction was
    // stored; nothing when nothing was.
    static std::optional<QString> correct(QWidget* owner, const QString& code);

    void saveClick();
    void cancelClick();

    // The code stored by the last correction (empty before one).
    QString correctedCode() const { return m_corrected; }

    QLineEdit* codeBox = nullptr;
    QLineEdit* firstNameBox = nullptr;
    QLineEdit* lastNameBox = nullptr;
    QComboBox* genderList = nullptr;
    QLineEdit* ageBox = nullptr;
    QComboBox* maritalList = nullptr;
    QComboBox* groupList = nullptr;
    QLineEdit* educationBox = nullptr;
    QPushButton* saveCorrection = nullptr;
    QPushButton* cancelCorrection = nullptr;

private:
    Registration::FieldTexts texts() const;
    QWidget* box(Registration::Field field) const;
    void fill(const Correction::Subject& subject);

    DataControl* m_theme = nullptr;
    QLineEdit* m_themeNumber = nullptr;
    SkinEngine* m_skin = nullptr;
    std::array<SkinLabel*, Registration::FieldCount> m_captions{};
    Correction::Subject m_read;
    QString m_corrected;
};

} // namespace velmora
