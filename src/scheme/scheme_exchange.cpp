// The open scheme written to a scheme package as the panel holds it,
// settings not yet written back included.
#include "scheme/scheme_panel.h"

#include "exchange/package_exchange.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "scheme/sample_slot.h"
#include "ui/export_dialog.h"
#include "ui/hourglass.h"

#include <QListWidget>

void TSchemePanel::WriteSchemePackage(const QString& path, const QString& title)
{
    THourglass hourglass;
    TfrmExportDialog progress(window(), QStringLiteral("Export Ambitone"), RowCount());
    const int loop = Scheduler().LoopLength();
    TSchemePackageHeader header;
    header.Title = title.toStdString();
    header.LoopLength = loop;
    std::vector<TSchemePackageEntry> entries;
    for (int i = 0; i < RowCount(); ++i) {
        const TPlaybackRow& record = Slot(i).Row->Record();
        TSchemePackageEntry entry;
        entry.SampleName = PropList->item(i)->text().toStdString();
        // As the scheme would be stored if it were left now.
        entry.Freq = StoredFreq(record.PeriodDisplay, loop, record.SliderPosition);
        entry.Randomize = record.Randomize;
        entry.CoordX = record.CoordX;
        entry.CoordY = record.CoordY;
        entry.CoordZ = record.CoordZ;
        entry.Repeat = record.RepeatCount;
        entry.RepeatPatten = static_cast<uint16_t>(record.RepeatMethod);
        entry.Pattern = record.Pattern;
        entry.PatternSpeed = record.PatternSpeed;
        entry.ReversePattern = record.ReversePattern;
        // The image the row's channel holds, byte for byte.
        entry.Image = Slot(i).Row->Channel().Wave().Image();
        entries.push_back(std::move(entry));
    }
    progress.show();
    WriteSchemePackageFile(path.toStdString(), header, entries, [&](int index, const std::string& name) {
        progress.Step(index, QString::fromStdString(name));
    });
}
