// Renders the main window offscreen to a PNG, over a scratch data directory
// with a few schemes and a filed sample catalogue in it, so that what a user
// sees can be looked at; optionally the Import Sound dialog too.
// Usage: screenshot_driver OUT.png [--dialog DIALOG.png] [WIDTH HEIGHT]
#include "app/application.h"
#include "app/frm_main.h"
#include "support/scripted_prompts.h"
#include "support/wave_image.h"
#include "support/window_driver.h"
#include "audio/backends/sound_backend.h"
#include "audio/mixer_control.h"
#include "audio/sound_services.h"
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "scheme/sample_slot.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "catalog/frm_sound_dialog.h"
#include "catalog/sound_tree.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Half a second of a 16-bit mono tone as a RIFF WAVE file.
bool WriteTone(const QString& path, int pitch)
{
    const std::vector<uint8_t> image = ToneWave(11025, pitch);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size())) ==
               static_cast<qint64>(image.size());
}

QTreeWidgetItem* FindNode(const TfrmMain& form, const QString& label)
{
    const auto found = form.CatalogPanel().SoundTree->findItems(label, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

// A category as the user makes one: New (or New Sub under the selection),
// then the name typed over "New Category" and Enter.
QTreeWidgetItem* NewCategory(TfrmMain& form, const QString& name, QTreeWidgetItem* under = nullptr)
{
    if (under)
        form.CatalogPanel().SoundTree->setCurrentItem(under);
    form.CatalogPanel().NewCategoryExecute(under ? 1 : 0);
    QTreeWidgetItem* node = form.CatalogPanel().SoundTree->currentItem();
    for (QLineEdit* editor : form.CatalogPanel().SoundTree->findChildren<QLineEdit*>()) {
        if (!editor->isVisible())
            continue;
        editor->setText(name);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(editor, &enter);
        QApplication::processEvents(); // the view commits the edit from its queue
        break;
    }
    if (node && node->text(0) != name)
        form.CatalogPanel().SoundTreeEdited(node, name);
    return node;
}

void Move(TfrmMain& form, const QString& sample, QTreeWidgetItem* category)
{
    form.CatalogPanel().SoundTree->setCurrentItem(FindNode(form, sample));
    form.CatalogPanel().SoundTreeStartDrag();
    form.CatalogPanel().SoundTreeDragDrop(category);
    form.CatalogPanel().SoundTreeEndDrag();
}

void FillCatalogue(TfrmMain& form, const QString& folder)
{
    const std::vector<std::pair<const char*, double>> tones{{"Rain on Leaves.wav", 330},
                                                            {"Soft Drizzle.wav", 392},
                                                            {"Distant Thunder.wav", 110},
                                                            {"Wind in Pines.wav", 220},
                                                            {"Night Crickets.wav", 880},
                                                            {"Creek.wav", 523},
                                                            {"Owl.wav", 294}};
    QStringList paths;
    for (const auto& [name, pitch] : tones) {
        const QString path = QDir(folder).filePath(QString::fromLatin1(name));
        if (WriteTone(path, pitch))
            paths << path;
    }
    form.CatalogPanel().ImportSampleFiles(paths);

    QTreeWidgetItem* weather = NewCategory(form, QStringLiteral("Weather"));
    QTreeWidgetItem* rain = NewCategory(form, QStringLiteral("Rain"), weather);
    QTreeWidgetItem* thunder = NewCategory(form, QStringLiteral("Thunder"), weather);
    QTreeWidgetItem* night = NewCategory(form, QStringLiteral("Night"));
    Move(form, QStringLiteral("Rain on Leaves.wav"), rain);
    Move(form, QStringLiteral("Soft Drizzle.wav"), rain);
    Move(form, QStringLiteral("Distant Thunder.wav"), thunder);
    Move(form, QStringLiteral("Wind in Pines.wav"), weather);
    Move(form, QStringLiteral("Night Crickets.wav"), night);

    weather->setExpanded(true);
    rain->setExpanded(true);
    thunder->setExpanded(false);
    night->setExpanded(false);
    form.CatalogPanel().UnfiledNode()->setExpanded(true);
    form.CatalogPanel().SoundTree->setCurrentItem(FindNode(form, QStringLiteral("Rain on Leaves.wav")));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TAmbitoneApplication app(argc, argv);
    QStringList positional;
    QString dialogOut;
    const QStringList arguments = app.arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--dialog") && i + 1 < arguments.size())
            dialogOut = arguments[++i];
        else
            positional << arguments[i];
    }
    if (positional.isEmpty()) {
        std::fprintf(stderr, "usage: %s OUT.png [--dialog DIALOG.png] [WIDTH HEIGHT]\n", argv[0]);
        return 1;
    }
    QTemporaryDir dir;
    // A home folder of its own, so that the dialog's folder tree shows a
    // tidy user's folders, not this machine's.
    const QString home = dir.filePath("listener");
    for (const char* folder : {"Documents", "Music", "Sounds/Field Recordings"})
        QDir().mkpath(QDir(home).filePath(QString::fromLatin1(folder)));
    qputenv("HOME", QFile::encodeName(home));
    TScriptedPrompts prompts;
    app.SetPrompts(&prompts);
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);

    TMainWindowEnvironment environment;
    environment.DataDirectory = dir.filePath("Data").toStdString();
    environment.Prompts = &prompts;
    environment.Settings = &settings;
    environment.SoundBackend = [] { return CreateOpenAlLoopbackBackend().Backend; };
    environment.MixerBackend = [] { return std::unique_ptr<IMixerBackend>(); };
    TfrmMain form(environment);
    form.show();
    for (const char* title : {"Rain Forest", "Night Harbour", "Mountain Stream", "Thunderstorm"}) {
        TWindowDriver(form).Trigger("NewScheme");
        form.SchemeListPanel().TitleEdit->setText(title);
        form.SchemeListPanel().TitleEditExit();
    }
    const QString sounds = QDir(home).filePath("Sounds");
    FillCatalogue(form, sounds);
    form.SchemeListPanel().SchemeList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    // The open scheme with a few samples placed and tuned.
    const std::pair<const char*, int> placed[] = {
        {"Rain on Leaves.wav", 100}, {"Distant Thunder.wav", 20}, {"Night Crickets.wav", 65}, {"Owl.wav", 40}};
    for (const auto& [name, position] : placed) {
        form.CatalogPanel().SoundTree->setCurrentItem(FindNode(form, QString::fromLatin1(name)));
        TWindowDriver(form).Trigger("UseSample");
        TSampleSlot& slot = form.SchemePanel().Slot(form.SchemePanel().RowCount() - 1);
        slot.FreqSlider->setValue(position);
    }
    form.SchemePanel().SelectRow(2);
    TWindowDriver(form).Trigger("RandomizeSample");
    form.SchemePanel().SelectRow(1);
    form.CatalogPanel().SoundTree->setCurrentItem(FindNode(form, QStringLiteral("Rain on Leaves.wav")));
    if (positional.size() >= 3)
        form.resize(positional[1].toInt(), positional[2].toInt());
    form.UpdateActions();

    const QString out = positional[0];
    std::unique_ptr<TfrmSoundDialog> dialog;
    int status = 1;
    QTimer::singleShot(200, [&] {
        form.UpdateActions();
        status = form.grab().save(out) ? 0 : 1;
        if (dialogOut.isEmpty()) {
            app.quit();
            return;
        }
        dialog = std::make_unique<TfrmSoundDialog>(&form, form.Sound().WaveMixer(), prompts);
        dialog->SetCurrentDirectory(sounds);
        dialog->FileList->setCurrentRow(2, QItemSelectionModel::ClearAndSelect);
        dialog->show();
        // The directory list fills from the file system model's thread.
        QTimer::singleShot(500, [&] {
            dialog->UpdateActions();
            if (!dialog->grab().save(dialogOut))
                status = 1;
            app.quit();
        });
    });
    app.exec();
    dialog.reset();
    for (const QString& error : prompts.Texts("error"))
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return status;
}
