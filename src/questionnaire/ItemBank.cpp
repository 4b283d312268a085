#include "questionnaire/ItemBank.h"

#include <array>

namespace velmora {

QString itemText(int number) {
    // Each text as the subject reads it, blanks and the leading " . " included.
    static const std::array<QString, ItemCount> texts = {
        QStringLiteral("  هنگامي که چيزي من را خشمگين ميکند، غالباً به صورت کنشي (با تخليه هيجاني) "
                       "رفتار ميکنم "),
        QStringLiteral(" هنگامي که احساس آسيب يا صدمه ميکنم، رفتار پرخاشگرانه از خود نشان ميدهم "),
        QStringLiteral(" من قادر هستم به آساني به خودم بخندم "),
        QStringLiteral(
            " من معمولاً قادر هستم جنبه مفرح و خنده آور يک گرفتاري و معضل شديد را ببينم "),
        QStringLiteral(" هنگامي که با يک موقعيت دشوار مواجه مي شوم، تلاش ميکنم که تصور کنم ايين "
                       "موقعيت شبيه چه چيزي خواهد بود و براي حل آن برنامهريزي ميکنم "),
        QStringLiteral(" اگر بتوانم پيش بيني کنم که در آينده غمگين خواهم بود، بهتر ميتوانم بر اين "
                       "غم و اندوه غلبه کنم "),
        QStringLiteral(" اغلب به من گفته ميشود که احساساتم را نشان ميدهم "),
        QStringLiteral(" . من غالباً متوجه مي شوم که هنگام وجود عواطف قوي در يک موقعيت، نميتوانم "
                       "تصميم خوبي بگيرم "),
        QStringLiteral(" افراد مي گويند که من تمايل دارم حقايق ناخوشايند را ناديده بگيرم، گويا اين "
                       "حقايق وجود ندارند "),
        QStringLiteral(" من از هيچ چيز نمي ترسم "),
        QStringLiteral(" من استعدادهاي ويژه اي دارم که به من اجازه ميدهد بدون هيچ مساله اي، در "
                       "زندگي پيش بروم "),
        QStringLiteral(" . من خطر را ناديده ميگيرم، مثل اينکه يک سوپرمن هستم "),
        QStringLiteral(" من مطمئنم که يک معامله ناجوانمردانه از زندگي ميگيرم "),
        QStringLiteral(" افراد تمايل دارند که با من بد رفتار کنند "),
    };
    if (number < 1 || number > ItemCount)
        return QString();
    return texts[static_cast<size_t>(number - 1)];
}

QString answerText(int value) {
    switch (value) {
    case 5:
        return QStringLiteral("کاملاً موافقم");
    case 4:
        return QStringLiteral("موافقم");
    case 3:
        return QStringLiteral("نه مخالفم نه موافقم");
    case 2:
        return QStringLiteral("مخالفم");
    case 1:
        return QStringLiteral("کاملاً مخالفم");
    default:
        return QString();
    }
}

} // namespace velmora
