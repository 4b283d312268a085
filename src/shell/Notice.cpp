#include "shell/Notice.h"

#include "shell/Platform.h"

QString noticeTitle() {
    return QStringLiteral("پيام");
}

void ShowNotice(QWidget* owner, const QString& text, int intervalMs) {
    platform().notice(owner, text, intervalMs);
}
