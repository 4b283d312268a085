#include "dialogs/exitpro.h"

#include "access/Access.h"
#include "backup/Frmbackup.h"
#include "dialogs/ExitArtwork.h"
#include "platform/Platform.h"
#include "ui/MainWindow.h"
#include "ui/PictureButton.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

namespace velmora {

namespace {

QPointer<exitpro> s_instance;

constexpr int ImageWidth = 1440;
constexpr int ImageHeight = 525;

QTimer* makeTimer(const char* name, int interval, QObject* owner) {
    auto* timer = new QTimer(owner);
    timer->setObjectName(QString::fromLatin1(name));
    timer->setInterval(interval);
    return timer;
}

} // namespace

exitpro::exitpro(QWidget* parent) : QWidget(parent) {
    s_instance = this;
    setObjectName(QStringLiteral("exitpro"));
    setWindowTitle(QStringLiteral("تهيه نسخه پشتيبان"));
    setAttribute(Qt::WA_DeleteOnClose);
    setClientSize(this, 4740, 3030);
    setMouseTracking(true);
    m_background = ExitArtwork::background(size());

    const QSize imageSize(twips(ImageWidth), twips(ImageHeight));
    using ExitArtwork::Button;
    k1 = makeImage("k1", ExitArtwork::button(Button::Confirm, false, imageSize));
    k2 = makeImage("k2", ExitArtwork::button(Button::Confirm, true, imageSize));
    C1 = makeImage("C1", ExitArtwork::button(Button::Cancel, false, imageSize));
    C2 = makeImage("C2", ExitArtwork::button(Button::Cancel, true, imageSize));
    place(k1, 2460, 2340, ImageWidth, ImageHeight);
    place(k2, 2460, 2340, ImageWidth, ImageHeight);
    place(C1, 360, 2340, ImageWidth, ImageHeight);
    place(C2, 360, 2340, ImageWidth, ImageHeight);
    m_confirm = new PictureButton(k1, k2, ExitArtwork::caption(Button::Confirm), this);
    m_cancel = new PictureButton(C1, C2, ExitArtwork::caption(Button::Cancel), this);
    connect(m_confirm, &PictureButton::clicked, this, &exitpro::k2_Click);
    connect(m_cancel, &PictureButton::clicked, this, &exitpro::C2_Click);

    Check1 = new QCheckBox(QStringLiteral("تهيه نسخه پشتيبان"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setFont(formFont());
    place(Check1, 1080, 1800, 2475, 375);

    Timer2 = makeTimer("Timer2", 500, this);
    Timer3 = makeTimer("Timer3", 500, this);
    tmCaptionAnimate = makeTimer("tmCaptionAnimate", 500, this);
    connect(Timer2, &QTimer::timeout, this, &exitpro::Timer2_Timer);
    connect(Timer3, &QTimer::timeout, this, &exitpro::Timer3_Timer);
    connect(tmCaptionAnimate, &QTimer::timeout, this, &exitpro::tmCaptionAnimate_Timer);

    Form_Load();
    Timer2->start();
    Timer3->start();
    tmCaptionAnimate->start();
}

exitpro::~exitpro() = default;

QLabel* exitpro::makeImage(const char* name, const QPixmap& picture) {
    auto* image = new QLabel(this);
    image->setObjectName(QString::fromLatin1(name));
    image->setPixmap(picture);
    image->setCursor(ExitArtwork::pointer());
    // The pointer over a picture belongs to the picture, never to the window
    // behind it: only the background puts the buttons back to rest.
    image->setAttribute(Qt::WA_NoMousePropagation);
    return image;
}

exitpro* exitpro::showWindow() {
    exitpro* window = s_instance ? s_instance.data() : new exitpro;
    window->show();
    window->activateWindow();
    return window;
}

exitpro* exitpro::instance() {
    return s_instance;
}

void exitpro::Form_Load() {
    placeWindow(this, 5000, 4500);
    Form_MouseMove();
}

void exitpro::k1_MouseMove() {
    m_confirm->highlight();
}

void exitpro::C1_MouseMove() {
    m_cancel->highlight();
}

void exitpro::Form_MouseMove() {
    m_cancel->rest();
    m_confirm->rest();
}

void exitpro::k2_Click() {
    if (Check1->isChecked()) {
        // Only an admin backs up; anyone else may leave without it.
        if (!Access::permit(Action::Backup, this))
            return;
        Frmbackup::showWindow();
        hide();
        return;
    }
    platform().endProgram();
}

void exitpro::C2_Click() {
    showMainWindow();
    m_leaving = true;
    close();
}

void exitpro::Timer2_Timer() {
    setWindowTitle(QStringLiteral(" تهيه نسخه پشتيبان"));
    // Enabling a running timer leaves its rhythm alone.
    if (!Timer3->isActive())
        Timer3->start();
    Timer2->stop();
}

void exitpro::Timer3_Timer() {
    setWindowTitle(QStringLiteral("پشتيبان گيري"));
    if (!Timer2->isActive())
        Timer2->start();
    Timer3->stop();
}

void exitpro::tmCaptionAnimate_Timer() {
    Check1->setText(windowTitle());
}

void exitpro::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, m_background);
}

void exitpro::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        C2_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void exitpro::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

void exitpro::closeEvent(QCloseEvent* event) {
    event->accept();
    // Closed by its frame: the main window is already gone, so nothing is left
    // of the program and the run ends, as on a confirmation without backup.
    if (!m_leaving && !mainWindowLoaded())
        platform().endProgram();
}

} // namespace velmora
