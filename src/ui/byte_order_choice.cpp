#include "ui/byte_order_choice.h"

TByteOrderChoice ReadInEitherByteOrder(const TEngineCalls& engine, bool xbox, const std::string& archivePath,
                                       TArchiveIndex& index, TNotices* notices) {
    TNotices asked;
    if (engine.ReadArchiveIndex(xbox, archivePath, index, &asked)) {
        if (notices != nullptr) *notices = std::move(asked);
        return {true, xbox, false};
    }
    TArchiveIndex other;
    TNotices otherNotices;
    if (engine.ReadArchiveIndex(!xbox, archivePath, other, &otherNotices)) {
        index = std::move(other);
        if (notices != nullptr) *notices = std::move(otherNotices);
        return {true, !xbox, true};
    }
    if (notices != nullptr) *notices = std::move(asked);
    return {false, xbox, false};
}

std::string ByteOrderSwitchNote(const TByteOrderChoice& choice) {
    if (!choice.switched) return "";
    return choice.xbox ? " It reads only as an Xbox 360 archive: XBOX checked."
                       : " It reads only as a PC archive: XBOX cleared.";
}
