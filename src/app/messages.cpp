#include "messages.h"

namespace messages {

QString measure_first() { return QStringLiteral("計測ボタンを押してからにしてください。"); }

QString graph_first() { return QStringLiteral("グラフボタンを押してからにしてください。"); }

QString holes_per_section_refused() { return QStringLiteral("1区間の穴数には1以上の整数を入れてください。"); }

QString port_cannot_open(const QString &device)
{
    return QStringLiteral("ポート %1 を開けません。接続を確認してください。").arg(device);
}

}  // namespace messages
