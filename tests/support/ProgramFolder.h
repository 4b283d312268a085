#pragma once

#include "support/CaseFolder.h"
#include "support/ScriptedPlatform.h"

#include <Qt>
#include <functional>

class QWidget;

namespace velmora {

// A fresh program folder for one test case: a case folder (see
// CaseFolder.h) with the skin files and the help page beside the databases,
// the scripted platform installed and nobody signed in. Windows are deleted
// on destruction, before the databases close.
class ProgramFolder : public CaseFolder {
public:
    explicit ProgramFolder(bool openDatabases = true);
    ~ProgramFolder() override;
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;

    ScriptedPlatform& platform() { return m_platform; }

private:
    ScriptedPlatform m_platform;
};

// Runs action on the next modal window that opens (polling the event loop),
// for driving a window shown with exec() from inside the handler that opens it.
void whenModal(const std::function<void(QWidget*)>& action, int timeoutMs = 5000);

// Keys as the operator types them: on whatever has the keyboard focus in
// window (the window itself when nothing in it has). Returns the widget that
// took the key.
QWidget* pressKey(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
QWidget* typeKeys(QWidget* window, const QString& text);
// Presses Tab in window until target has the focus, at most limit times.
// False when it never got there.
bool tabTo(QWidget* window, const QWidget* target, int limit = 60);

// Deletes every top-level window (without running close handlers).
void deleteAllWindows();

// A test main with the program's right-to-left layout and fonts.
int runVelmoraTest(int argc, char** argv, QObject* test);

#define VELMORA_TEST_MAIN(TestClass)                                                               \
    int main(int argc, char** argv) {                                                              \
        TestClass test;                                                                            \
        return velmora::runVelmoraTest(argc, argv, &test);                                         \
    }

} // namespace velmora
