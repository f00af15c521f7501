#include "ui/ui_text_table.h"

#include <QString>
#include <QStringDecoder>

#include <cstdio>
#include <memory>

#include "platform/unique_fd.h"

namespace ui {

bool UiTextTable::Load(const std::string& path)
{
    for (auto& entry : entries)
        entry.clear();
    platform::UniqueFile file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    int line = 0;
    std::string* entry = &entries[0];
    for (int c = std::fgetc(file.get()); c != EOF && line < kLines; c = std::fgetc(file.get())) {
        if (c == '\n') {
            if (!entry->empty() && entry->back() == '\r')
                entry->pop_back();
            if (++line < kLines)
                entry = &entries[line];
            continue;
        }
        // One byte over the limit keeps a CR that may still end the line.
        if (entry->size() <= kMaxEntryBytes)
            entry->push_back(static_cast<char>(c));
    }
    // The last line may end without LF.
    if (line < kLines && !entry->empty() && entry->back() == '\r')
        entry->pop_back();
    for (auto& e : entries)
        if (e.size() > kMaxEntryBytes)
            e.resize(kMaxEntryBytes);
    return true;
}

const std::string& UiTextTable::Text(int n) const
{
    static const std::string none;
    if (n < 1 || n > kLines)
        return none;
    return entries[static_cast<std::size_t>(n - 1)];
}

QString UiString(const std::string& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!decoder.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace ui
