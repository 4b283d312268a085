#pragma once

#include "registry/SubjectExport.h"

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace velmora {

class SkinEngine;

// The research export of the code lookup: the operator picks the format
// (SPSS or Stata), pseudonymised or identified, one row per subject or per
// administration, what a pseudonymised file keeps of the dates and whether
// age goes in five-year bands, then names the file. The export shows its
// progress and can be cancelled, as the lookup's CSV export; the dialog closes
// once the file is written.
class ResearchExportDialog : public QDialog {
    Q_OBJECT
public:
    // filter: the subjects the lookup lists; themeNumber: the lookup's theme.
    ResearchExportDialog(const SubjectFilter& filter, const QString& themeNumber,
                         QWidget* parent = nullptr);

    // --- Handlers ---
    void saveClick();
    void cancelClick();
    // The dates only matter to a pseudonymised file.
    void Privacy_Change();

    QGroupBox* FrameFormat = nullptr;
    QRadioButton* OptionSpss = nullptr;
    QRadioButton* OptionStata = nullptr;
    QGroupBox* FramePrivacy = nullptr;
    QRadioButton* OptionPseudonymised = nullptr;
    QRadioButton* OptionIdentified = nullptr;
    QGroupBox* FrameRows = nullptr;
    QRadioButton* OptionPerSubject = nullptr;
    QRadioButton* OptionPerAdministration = nullptr;
    QGroupBox* FrameDates = nullptr;
    QRadioButton* OptionShiftDates = nullptr;
    QRadioButton* OptionYearOnly = nullptr;
    QCheckBox* ageBandsCheck = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* cancelButton = nullptr;
    SkinEngine* Skin1 = nullptr;

private:
    SubjectFilter m_filter;
};

} // namespace velmora
