#include "ui/preview_content.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QStringDecoder>
#include <exception>

#include "engine/checking/entry_content.h"
#include "engine/format/hash_tag.h"
#include "engine/format/loc_convert.h"
#include "support/host_lock.h"
#include "support/number_text.h"
#include "support/paths.h"
#include "ui/text_bridge.h"

namespace {

QByteArray ByteArrayOf(const TArrayOfByte& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}


// An extension that one of Qt's image readers takes.
bool IsImagePath(const std::string& path) {
    const std::string ext = LowerExtension(path);
    return !ext.empty() && QImageReader::supportedImageFormats().contains(QByteArray::fromStdString(ext));
}

// Bytes that one of Qt's image readers recognises by their content.
bool LooksLikeImage(const TArrayOfByte& head) {
    QByteArray data = ByteArrayOf(head);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return !QImageReader::imageFormat(&buffer).isEmpty();
}

QString SizeText(int64_t bytes) { return QString::fromStdString(GroupThousands(bytes)) + QStringLiteral(" bytes"); }

QString HeaderOf(const TEntryHeadResult& head) {
    const int64_t size = head.unpackedSize;
    const int64_t packed = head.packedSize;
    QString ratio = QStringLiteral("-");
    if (size > 0) ratio = QString::number(100.0 * static_cast<double>(packed) / static_cast<double>(size), 'f', 1) + " %";
    return DisplayName(head.entryPath) + QStringLiteral("\n") + SizeText(size) + QStringLiteral(", packed ") +
           SizeText(packed) + QStringLiteral(" (") + ratio + QStringLiteral("), tag ") +
           QString::fromStdString(TagToText(PathHashTag(head.entryPath)));
}

QString ShownPart(int64_t shown, int64_t size) {
    return QStringLiteral("The first ") + SizeText(shown) + QStringLiteral(" of ") + SizeText(size) +
           QStringLiteral(" are shown.");
}

void MakeHex(const TEntryHeadResult& head, TPreviewContent& content) {
    content.kind = TPreviewKind::Hex;
    const TArrayOfByte shown(head.bytes.begin(),
                             head.bytes.begin() + static_cast<ptrdiff_t>(std::min<int64_t>(
                                                      BufferLength(head.bytes), kPreviewHexBytes)));
    content.text = HexView(shown);
    if (!head.whole || BufferLength(shown) < BufferLength(head.bytes))
        content.note = ShownPart(BufferLength(shown), head.unpackedSize);
}

void MakeText(const TEntryHeadResult& head, TPreviewContent& content) {
    content.kind = TPreviewKind::Text;
    content.text = DecodePreviewText(head.bytes, head.whole);
    if (!head.whole) content.note = ShownPart(BufferLength(head.bytes), head.unpackedSize);
}

void MakeImage(const TEntryHeadResult& head, TPreviewContent& content) {
    if (head.whole) {
        QByteArray data = ByteArrayOf(head.bytes);
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        QImage image = reader.read();
        if (!image.isNull()) {
            content.kind = TPreviewKind::Image;
            content.image = std::move(image);
            content.note = QString::number(content.image.width()) + QStringLiteral(" × ") +
                           QString::number(content.image.height()) + QStringLiteral(" pixels");
            return;
        }
        MakeHex(head, content);
        content.note = QStringLiteral("The image does not read: ") + reader.errorString();
        return;
    }
    MakeHex(head, content);
    content.note = QStringLiteral("The image is too large to show (over ") + SizeText(kPreviewImageBytes) +
                   QStringLiteral(").");
}

void MakeTable(const TEntryHeadResult& head, TPreviewContent& content) {
    if (!head.whole) {
        MakeHex(head, content);
        content.note = QStringLiteral("The string table is too large to show (over ") + SizeText(kPreviewTableBytes) +
                       QStringLiteral(").");
        return;
    }
    QString problem;
    if (LocTableRows(head.bytes, content.bigEndian, content.rows, content.rowsUtf8, problem)) {
        content.kind = TPreviewKind::LocRows;
        content.note = QString::fromStdString(GroupThousands(content.rows.size())) + QStringLiteral(" strings");
        return;
    }
    MakeHex(head, content);
    content.note = problem;
}

// What the entry is from its name and first bytes, as the cap of the read.
int64_t CapFor(const std::string& path, const TArrayOfByte& head) {
    if (LooksLikeImage(head)) return kPreviewImageBytes;
    if (LooksLikeText(head)) return kPreviewTextBytes;
    (void)path;
    return kPreviewHexBytes;
}

TPreviewContent Read(const TPreviewJob& job, const std::atomic<bool>& stop) {
    TPreviewContent content;
    content.generation = job.generation;
    content.archivePath = job.archivePath;
    content.bigEndian = job.bigEndian;
    TNotices notices;
    TEntryHeadRequest request;
    request.bigEndian = job.bigEndian;
    request.archivePath = job.archivePath;
    request.entryPath = job.entryPath;
    request.stop = &stop;
    request.notices = &notices;
    const bool table = IsLocFileName(job.entryPath);
    const bool image = !table && IsImagePath(job.entryPath);
    if (table) request.byteCap = kPreviewTableBytes;
    else if (image) request.byteCap = kPreviewImageBytes;
    else {
        request.probeBytes = kPreviewProbeBytes;
        request.capAfterProbe = [&](const TArrayOfByte& head) { return CapFor(job.entryPath, head); };
        request.byteCap = kPreviewProbeBytes;
    }
    const TEntryHeadResult head = ReadEntryHead(request);
    if (head.stopped) return content;
    if (!head.found) {
        content.note = notices.empty() ? QStringLiteral("The entry cannot be read.") : QStr(notices.front().text);
        return content;
    }
    content.entryPath = head.entryPath;
    content.header = HeaderOf(head);
    if (!head.damage.empty()) {
        content.note = QStr(head.damage);
        return content;
    }
    if (table) MakeTable(head, content);
    else if (image || LooksLikeImage(head.bytes)) MakeImage(head, content);
    else if (LooksLikeText(head.bytes)) MakeText(head, content);
    else MakeHex(head, content);
    return content;
}

}  // namespace

TPreviewContent MakePreview(const TPreviewJob& job, const std::atomic<bool>& stop) {
    // Behind the window's back this thread must not wait for an archive another program
    // updates, nor call the window's waiting: the pane says the archive is busy.
    const host::ThreadLockWaiting noWait(host::LockWaiting(false));
    try {
        return Read(job, stop);
    } catch (const std::exception& error) {
        TPreviewContent content;
        content.generation = job.generation;
        content.note = QStr(error.what());
        return content;
    }
}

QString DecodePreviewText(const TArrayOfByte& bytes, bool whole) {
    const QByteArray data = ByteArrayOf(bytes);
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder utf16(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                             QStringDecoder::Flag::Stateless);
        QByteArrayView rest(data.constData() + 2, data.size() - 2);
        // A head cut inside a character leaves that half out.
        if (!whole && rest.size() % 2 != 0) rest.chop(1);
        return utf16.decode(rest);
    }
    QByteArrayView text(data);
    if (text.startsWith("\xEF\xBB\xBF")) text = text.sliced(3);
    if (!whole) {
        // The last character may be cut off: at most three bytes of a sequence begun.
        qsizetype start = text.size();
        for (int back = 0; back < 3 && start > 0; ++back) {
            const auto byte = static_cast<unsigned char>(text[start - 1]);
            if ((byte & 0xC0) != 0x80) {
                if (byte >= 0xC0) --start;  // a lead byte whose sequence is not complete
                break;
            }
            --start;
        }
        const auto lead = start < text.size() ? static_cast<unsigned char>(text[start]) : 0;
        const qsizetype need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (start < text.size() && text.size() - start < need) text.truncate(start);
    }
    return DisplayName(std::string(text.data(), static_cast<size_t>(text.size())));
}

bool LooksLikeText(const TArrayOfByte& bytes) {
    if (bytes.size() >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF)))
        return true;
    const size_t looked = std::min<size_t>(bytes.size(), static_cast<size_t>(kPreviewProbeBytes));
    size_t controls = 0;
    for (size_t i = 0; i < looked; ++i) {
        const uint8_t byte = bytes[i];
        if (byte == 0) return false;
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' && byte != 0x1B) ||
            byte == 0x7F)
            ++controls;
    }
    // A stray control byte or two in a text; a binary file has them everywhere.
    return controls * 32 <= looked;
}

QString HexView(const TArrayOfByte& bytes) {
    static const char* const kDigits = "0123456789ABCDEF";
    QString view;
    view.reserve(static_cast<qsizetype>(bytes.size() / 16 + 1) * 80);
    for (size_t line = 0; line < bytes.size(); line += 16) {
        view += QStringLiteral("%1 ").arg(static_cast<qulonglong>(line), 8, 16, QLatin1Char('0')).toUpper();
        QString chars;
        for (size_t i = line; i < line + 16; ++i) {
            if (i >= bytes.size()) {
                view += QStringLiteral("   ");
                continue;
            }
            const uint8_t byte = bytes[i];
            view += QLatin1Char(' ');
            view += QLatin1Char(kDigits[byte >> 4]);
            view += QLatin1Char(kDigits[byte & 15]);
            const bool shown = (byte >= 0x20 && byte < 0x7F) || byte >= 0xA0;
            chars += shown ? DisplayName(std::string(1, static_cast<char>(byte))) : QStringLiteral(".");
        }
        view += QStringLiteral("  ") + chars + QLatin1Char('\n');
    }
    return view;
}

bool LocTableRows(const TArrayOfByte& table, bool bigEndian, QStringList& rows, bool& utf8, QString& problem) {
    TArrayOfByte text = table;
    if (!table.empty() && !LocToText(bigEndian, text)) {
        problem = QStringLiteral("The string table is damaged: it does not convert to text.");
        return false;
    }
    if (table.empty()) text.clear();
    const QByteArrayView view(reinterpret_cast<const char*>(text.data()), static_cast<qsizetype>(text.size()));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder.decode(view);
    utf8 = !decoder.hasError();
    if (!utf8) decoded = DisplayName(std::string(view.data(), static_cast<size_t>(view.size())));
    rows = decoded.split(QStringLiteral("\r\n"));
    // Every line ends in CR LF: what follows the last one is no string.
    rows.removeLast();
    return true;
}

bool LocRowsText(const QStringList& rows, bool utf8, std::string& text, QString& problem) {
    text.clear();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        std::string bytes;
        if (utf8) bytes = rows[i].toStdString();
        else if (!ToWindows1252(rows[i], bytes)) {
            problem = QStringLiteral("String ") + QString::number(i) +
                      QStringLiteral(" holds a character that Windows-1252 lacks: write it as its escape.");
            return false;
        }
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20) text += "\\" + HexOfBytes(&byte, 1);
            else text += c;
        }
        text += "\r\n";
    }
    return true;
}
