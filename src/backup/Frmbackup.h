#pragma once

#include "backup/BackupFiles.h"
#include "backup/BackupRoutes.h"

#include <QElapsedTimer>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace velmora {

class DataControl;
class SkinEngine;

// The backup window: copies the subject database to a backup file or restores
// it from one. It belongs to the end of a run: every way out of it ends the
// program.
class Frmbackup : public QWidget {
    Q_OBJECT
public:
    explicit Frmbackup(QWidget* parent = nullptr);

    // Creates and shows a backup window (modeless); nullptr when the one at
    // work may not handle backups.
    static Frmbackup* showWindow();

    // A copy that takes longer than this shows its progress.
    static constexpr int ProgressDelayMs = 500;

    // --- Handlers ---
    void Timer1_Timer();
    void b1_Click();
    void b2_Click();
    void VisualButtonEx2_Click(); // backup
    void VisualButtonEx3_Click(); // restore
    void Command1_Click();
    void keyButton_Click(); // makes or replaces the clinic key
    void sealBox_Toggled(bool sealed);

    // True while a backup or restore is copying.
    bool copying() const { return m_copying; }

    QPushButton* VisualButtonEx2 = nullptr;
    QLineEdit* Text1 = nullptr; // the backup file to write
    QPushButton* b1 = nullptr;
    QPushButton* VisualButtonEx3 = nullptr;
    QLineEdit* Text2 = nullptr; // the backup file to restore from
    QPushButton* b2 = nullptr;
    QLabel* Label1 = nullptr; // today's solar date
    QLabel* Label2 = nullptr; // the time, "h.mm"
    QLabel* Label3 = nullptr; // the date the default file name uses
    QPushButton* Command1 = nullptr;
    QTimer* Timer1 = nullptr;
    QLineEdit* Text3 = nullptr; // theme number (hidden)
    DataControl* Adodc1 = nullptr;
    SkinEngine* Skin1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr; // shown during a long copy
    // Seal the backup with the clinic key: on by default when there is one,
    // off and unavailable when there is none.
    QCheckBox* sealBox = nullptr;
    QPushButton* keyButton = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Escape leaves as the exit button does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    // Runs work with the buttons off and the window alive through
    // betweenChunks and runBeside.
    BackupRoutes::Outcome keepingWindowAlive(const std::function<BackupRoutes::Outcome()>& work);
    // How the window takes part in a backup or a restore: alive between
    // chunks, long steps beside it, its questions to the operator.
    BackupRoutes::Participant participant();
    void betweenChunks(qint64 copied, qint64 total);
    // Runs step on a thread of its own while the window stays alive; a long
    // one shows a busy bar (the age programs tell nothing of their progress,
    // nor does a check).
    bool runBeside(const std::function<bool(QString* why)>& step, QString* why);
    void showSealing();
    void setButtonsEnabled(bool enabled);

    bool m_copying = false;
    bool m_closeWanted = false;
    bool m_unloaded = false;
    QElapsedTimer m_copyClock;
    qint64 m_lastEvents = 0; // when events were last processed during the copy, ms
    static constexpr qint64 EventsEveryMs = 20;
};

} // namespace velmora
