#pragma once

#include <QString>

class QWidget;

namespace velmora {

// Intervals of the self-closing notice box.
constexpr int NoticeInterval = 1000;
constexpr int LongNoticeInterval = 2000;

// Reports a missing or wrong input: a modal box titled "پيام" over owner that
// closes itself after intervalMs as if OK were pressed. Returns once it is closed.
void ShowNotice(QWidget* owner, const QString& text, int intervalMs = NoticeInterval);

} // namespace velmora
