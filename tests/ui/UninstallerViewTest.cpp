// The window's view, drawn offscreen: what each phase shows and where, the progress spring, the
// links' hover fades, clicks and accessibility.
#include "Waiting.h"
#include "ui/UiSetup.h"
#include "ui/UninstallerViewModel.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QImage>
#include <QQuickItem>
#include <QQuickView>
#include <QSGRendererInterface>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Waiting::untilItHappens;

using Phase = UninstallService::Phase;

struct RecordingActions final : ViewActions {
    int starts = 0;
    int logs = 0;
    int downloads = 0;
    int quits = 0;
    void startUninstall() override { ++starts; }
    void showLog() override { ++logs; }
    void openDownloadPage() override { ++downloads; }
    void quit() override { ++quits; }
};

const QString appIconPath =
    QStringLiteral(NUVRA_SOURCE_DIR "/nuvraUninstaller/resources/icons/AppIcon.svg");

const char* const introSubtitle =
    "This removes nuvra from this Mac, including your sign-in and settings.";
const char* const progressSubtitle =
    "Your Mac may ask for your password to remove nuvra from the system Input Methods folder.";

constexpr double fullWidth = 220;

class UninstallerViewTest : public ::testing::Test {
protected:
    // The scene graph hands some of its resources to deleteLater; release them with the window
    // rather than leave them for an event loop that never runs again.
    void TearDown() override {
        view_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void show(const Phase& phase, double progress = 0) {
        model_.setPhase(phase);
        model_.setProgressFraction(progress);
        view_ = std::make_unique<QQuickView>();
        ASSERT_TRUE(UiSetup::loadView(*view_, model_, appIconPath));
        view_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
        // The pointer starts off every control: the application drops a move to where the pointer
        // already is, so a hover onto the place a previous test clicked would never arrive.
        QTest::mouseMove(view_.get(), QPoint(1, 1));
    }

    QQuickItem* item(const char* name) const {
        return view_->findChild<QQuickItem*>(QString::fromLatin1(name));
    }
    // The item when it exists and is drawn (a hidden control or an inactive loader gives null).
    QQuickItem* shown(const char* name) const {
        QQuickItem* found = item(name);
        return found && found->isVisible() ? found : nullptr;
    }
    QQuickItem* child(QQuickItem* parent, const char* name) const {
        return parent->findChild<QQuickItem*>(QString::fromLatin1(name));
    }

    static QRectF sceneRect(const QQuickItem* target) {
        return target->mapRectToScene(QRectF(0, 0, target->width(), target->height()));
    }

    // A phase change; the loaders' old controls are deleted later, so finish that before looking
    // items up again.
    void setPhase(const Phase& phase) {
        model_.setPhase(phase);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void click(const QQuickItem* target) {
        QTest::mouseClick(view_.get(), Qt::LeftButton, {}, sceneRect(target).center().toPoint());
    }
    // Moves the pointer onto or off a link and returns once the link has noticed (hover reaches
    // items with the window's next frame), so the fade has just begun.
    bool hover(const QQuickItem* link) {
        QTest::mouseMove(view_.get(), sceneRect(link).center().toPoint());
        return QTest::qWaitFor([&] { return link->property("hovering").toBool(); }, untilItHappens);
    }
    bool hoverAway(const QQuickItem* link) {
        QTest::mouseMove(view_.get(), QPoint(10, 10));
        return QTest::qWaitFor([&] { return !link->property("hovering").toBool(); },
                               untilItHappens);
    }

    RecordingActions actions_;
    UninstallerViewModel model_{actions_};
    std::unique_ptr<QQuickView> view_; // destroyed before the model it draws
};

// ---- every phase's screen ---------------------------------------------------------------------

struct ScreenCase {
    const char* name;
    Phase phase;
    const char* icon; // object name of the visible mark or image
    const char* headline;
    std::string subtitle;
    const char* control; // object name of the visible control
    const char* controlTitle;
    const char* link; // object name of the link, or nullptr for an empty row
    const char* linkTitle;
};

// Test names in CTest show the case's name instead of its bytes.
void PrintTo(const ScreenCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<ScreenCase> screenCases() {
    return {
        {"Scanning", UninstallService::Scanning{}, "appIcon", "Uninstall nuvra", introSubtitle,
         "checkingPlaceholder", nullptr, nullptr, nullptr},
        {"Ready", UninstallService::Ready{}, "appIcon", "Uninstall nuvra", introSubtitle,
         "primaryButton", "Uninstall", nullptr, nullptr},
        {"Uninstalling", UninstallService::Uninstalling{}, "appIcon", "Uninstall nuvra",
         progressSubtitle, "progressBar", nullptr, nullptr, nullptr},
        {"DoneClean", UninstallService::Done{}, "successMark", "Goodbye.",
         "nuvra was removed. Thanks for giving it a try.", "primaryButton", "Quit", "externalLink",
         "Download nuvra again"},
        {"DoneWithResidue", UninstallService::Done{{"/tmp/nuvra"}}, "successMark",
         "nuvra was removed",
         "Some items could not be removed. Restarting your Mac usually clears them.",
         "primaryButton", "Quit", "weakActionLink", "Show Log"},
        {"NothingFound", UninstallService::NothingFound{}, "successMark", "nuvra was not found",
         "There is nothing to remove on this Mac.", "primaryButton", "Quit", "weakActionLink",
         "Clean up anyway"},
        {"Failed",
         UninstallService::Failed{"Remove nuvra apps", "Administrator access was not granted."},
         "warningMark", "Couldn't finish uninstalling",
         "Remove nuvra apps: Administrator access was not granted.", "primaryButton", "Retry",
         "weakActionLink", "Show Log"},
    };
}

class ScreenTest : public UninstallerViewTest, public ::testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenTest, ShowsItsTextsIconControlAndLinkAtTheFixedPlaces) {
    const ScreenCase& expected = GetParam();
    show(expected.phase, 0.5);

    EXPECT_EQ(item("headline")->property("text").toString().toStdString(), expected.headline);
    EXPECT_EQ(item("subtitle")->property("text").toString().toStdString(), expected.subtitle);

    for (const char* icon : {"appIcon", "successMark", "warningMark"}) {
        EXPECT_EQ(shown(icon) != nullptr, std::string(icon) == expected.icon) << icon;
    }
    if (std::string(expected.icon) == "appIcon") {
        EXPECT_TRUE(item("appIcon")->property("loaded").toBool());
    }

    for (const char* control : {"checkingPlaceholder", "primaryButton", "progressBar"}) {
        EXPECT_EQ(shown(control) != nullptr, std::string(control) == expected.control) << control;
    }
    QQuickItem* control = shown(expected.control);
    ASSERT_NE(control, nullptr);
    if (expected.controlTitle) {
        EXPECT_EQ(control->property("title").toString().toStdString(), expected.controlTitle);
    }

    for (const char* link : {"weakActionLink", "externalLink"}) {
        EXPECT_EQ(shown(link) != nullptr, expected.link && std::string(link) == expected.link)
            << link;
    }
    QQuickItem* link = expected.link ? shown(expected.link) : nullptr;
    if (expected.link) {
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->property("title").toString().toStdString(), expected.linkTitle);
        EXPECT_EQ(child(link, "linkArrow") != nullptr,
                  std::string(expected.link) == "externalLink");
    }

    // The column's fixed frames: the control and the link never move from phase to phase.
    EXPECT_EQ(sceneRect(item("iconSlot")), QRectF(184, 44, 112, 112));
    EXPECT_EQ(sceneRect(item("textBlock")), QRectF(40, 172, 400, 130));
    EXPECT_EQ(sceneRect(item("controlSlot")), QRectF(130, 302, 220, 42));
    EXPECT_EQ(sceneRect(control), QRectF(130, 302, 220, 42));
    EXPECT_EQ(sceneRect(item("linkRow")), QRectF(40, 356, 400, 30));
    if (link) {
        const QRectF linkRect = sceneRect(link);
        EXPECT_NEAR(linkRect.center().x(), 240, 0.5);
        EXPECT_NEAR(linkRect.center().y(), 371, 0.5);
    }
    // The headline is above the subtitle, 6 apart, both at the top of the text block.
    const QRectF headline = sceneRect(item("headline"));
    const QRectF subtitle = sceneRect(item("subtitle"));
    EXPECT_EQ(headline.top(), 172);
    EXPECT_EQ(subtitle.top(), headline.bottom() + 6);
    EXPECT_EQ(subtitle.left(), 60);
    EXPECT_EQ(subtitle.width(), 360);
}

// The screen reduced to averages of 4 × 4 points (so 8 × 8 pixels at 2x): glyph edges that
// renderers antialias a little differently average out, a changed word, icon or shape does not.
QImage pointBlocks(const QImage& shot, double ratio) {
    const int block = static_cast<int>(4 * ratio);
    const QImage image = shot.convertToFormat(QImage::Format_RGB32);
    QImage blocks(image.width() / block, image.height() / block, QImage::Format_RGB32);
    for (int by = 0; by < blocks.height(); ++by) {
        for (int bx = 0; bx < blocks.width(); ++bx) {
            int sum[3] = {};
            for (int y = by * block; y < (by + 1) * block; ++y) {
                for (int x = bx * block; x < (bx + 1) * block; ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    sum[0] += qRed(pixel);
                    sum[1] += qGreen(pixel);
                    sum[2] += qBlue(pixel);
                }
            }
            const int n = block * block;
            blocks.setPixel(bx, by, qRgb(sum[0] / n, sum[1] / n, sum[2] / n));
        }
    }
    return blocks;
}

// Root-mean-square difference of the colour channels, 0 (same) to 1.
double distance(const QImage& a, const QImage& b) {
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int dr = qRed(p) - qRed(q);
            const int dg = qGreen(p) - qGreen(q);
            const int db = qBlue(p) - qBlue(q);
            sum += dr * dr + dg * dg + db * db;
        }
    }
    return std::sqrt(sum / (3.0 * a.width() * a.height())) / 255.0;
}

// Pixels in the control's top-left corner square that are neither the light background nor the
// green fill: the partly covered pixels of an antialiased edge. An aliased corner has none.
int cornerEdgePixels(const QImage& shot, const QRectF& control, double ratio) {
    const int left = static_cast<int>(control.left() * ratio);
    const int top = static_cast<int>(control.top() * ratio);
    const int side = static_cast<int>(12 * ratio); // the controls' corner radius
    int partial = 0;
    for (int y = top; y < top + side; ++y) {
        for (int x = left; x < left + side; ++x) {
            const int blue = qBlue(shot.pixel(x, y)); // 247 background, 11 fill
            partial += blue > 30 && blue < 228;
        }
    }
    return partial;
}

// Every screen looks like its reference render (tests/ui/reference, drawn by the OpenGL renderer
// with multisampling) within the tolerance the end-to-end runs recognise screens with, whatever
// the renderer and the scale; the filled controls' rounded corners are smooth. CTest runs this
// under the software and the OpenGL renderer at 1x and 2x.
TEST_P(ScreenTest, LooksLikeItsReferenceWithSmoothCorners) {
    const ScreenCase& expected = GetParam();
    show(expected.phase, 0.5);
    if (qEnvironmentVariable("NUVRA_EXPECTED_GRAPHICS_API") == QLatin1String("opengl")) {
        ASSERT_EQ(view_->rendererInterface()->graphicsApi(), QSGRendererInterface::OpenGL);
    }
    const double ratio = view_->devicePixelRatio();
    const QImage shot = view_->grabWindow();
    ASSERT_EQ(shot.size(), QSize(480, 450) * ratio);

    const QImage blocks = pointBlocks(shot, ratio);
    const QString name = QString::fromLatin1(expected.name) + QStringLiteral(".png");
    const QString written = qEnvironmentVariable("NUVRA_SCREEN_BLOCKS_OUT");
    if (!written.isEmpty()) { // how the references are made
        blocks.save(written + QLatin1Char('/') + name);
    }
    const QImage reference = QImage(QStringLiteral(NUVRA_SOURCE_DIR "/tests/ui/reference/") + name)
                                 .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(reference.size(), blocks.size()) << "no reference for " << expected.name;
    EXPECT_LE(distance(blocks, reference), 0.02);

    const std::string control = expected.control;
    if (control == "primaryButton" || control == "progressBar") {
        EXPECT_GE(cornerEdgePixels(shot, sceneRect(shown(expected.control)), ratio), 12 * ratio);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryPhase, ScreenTest, ::testing::ValuesIn(screenCases()),
                         [](const auto& param) { return std::string(param.param.name); });

// The product's keyboard-settings entries are left only when the settings could not be changed
// safely: the end screen tells what became of the person's settings, not that a restart helps.
TEST(EndScreen, KeyboardSettingsLeftInPlaceAreToldAsKept) {
    const auto subtitle = [](std::vector<std::string> residues) {
        return screenContentFor(UninstallService::Done{std::move(residues)}).subtitle;
    };
    EXPECT_EQ(subtitle({"Temporary files (/tmp/nuvra)", "Keyboard settings entries (6 entries)"}),
              "Your keyboard settings were kept as they were, nuvra's entries included. The log "
              "lists what is left.");
    EXPECT_EQ(subtitle({"Keyboard settings entries (could not be checked)"}),
              "Your keyboard settings could not be read, so nuvra's entries may still be in them. "
              "The log tells more.");
}

TEST_F(UninstallerViewTest, AMissingAppIconLeavesTheSlotEmptyButSized) {
    setPhase(UninstallService::Ready{});
    view_ = std::make_unique<QQuickView>();
    ASSERT_TRUE(UiSetup::loadView(*view_, model_, QStringLiteral("/nonexistent/AppIcon.svg")));
    view_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view_.get()));
    EXPECT_FALSE(item("appIcon")->property("loaded").toBool());
    EXPECT_EQ(sceneRect(item("iconSlot")), QRectF(184, 44, 112, 112));
    EXPECT_EQ(sceneRect(item("controlSlot")), QRectF(130, 302, 220, 42));
}

TEST_F(UninstallerViewTest, AVeryLongFailureMessageKeepsTheControlAndLinkInPlace) {
    std::string message;
    for (int i = 0; i < 40; ++i) {
        message += "The privileged helper reported an unexpected condition. ";
    }
    show(UninstallService::Failed{"Remove nuvra apps", message});

    QQuickItem* subtitle = item("subtitle");
    // Shown whole, never cut off, even though it runs past the text block.
    EXPECT_EQ(subtitle->height(), subtitle->property("implicitHeight").toDouble());
    EXPECT_GT(sceneRect(subtitle).bottom(), 302);
    EXPECT_EQ(sceneRect(item("textBlock")), QRectF(40, 172, 400, 130));
    EXPECT_EQ(sceneRect(shown("primaryButton")), QRectF(130, 302, 220, 42));
    EXPECT_EQ(sceneRect(item("linkRow")), QRectF(40, 356, 400, 30));

    // Drawn over the text, the controls still take the clicks.
    click(shown("primaryButton"));
    click(shown("weakActionLink"));
    EXPECT_EQ(actions_.starts, 1);
    EXPECT_EQ(actions_.logs, 1);
}

TEST_F(UninstallerViewTest, APhaseChangeRedrawsTheSameWindow) {
    show(UninstallService::Scanning{});
    setPhase(UninstallService::NothingFound{});
    EXPECT_EQ(item("headline")->property("text").toString(), QStringLiteral("nuvra was not found"));
    EXPECT_NE(shown("primaryButton"), nullptr);
    EXPECT_EQ(shown("checkingPlaceholder"), nullptr);
    EXPECT_NE(shown("weakActionLink"), nullptr);
}

// ---- progress -------------------------------------------------------------------------------

// Samples the fill's width until the spring has settled, returning every width it drew.
std::vector<double> sampleUntilSettled(const QQuickItem* fill) {
    std::vector<double> widths{fill->width()};
    QElapsedTimer clock;
    clock.start();
    int unchanged = 0;
    while (clock.elapsed() < 3000 && unchanged < 20) {
        QTest::qWait(5);
        const double width = fill->width();
        unchanged = width == widths.back() ? unchanged + 1 : 0;
        widths.push_back(width);
    }
    return widths;
}

// Fills and samples each step's spring; returns the width it settled at.
class ProgressTest : public UninstallerViewTest {
protected:
    double springTo(double fraction) {
        QQuickItem* fill = item("progressFill");
        const double before = fill->width();
        const double target = fullWidth * fraction;
        model_.setProgressFraction(fraction);
        const std::vector<double> widths = sampleUntilSettled(fill);
        // Animated, not a jump: some frame lies strictly between the old and the new width.
        EXPECT_TRUE(std::any_of(widths.begin(), widths.end(),
                                [&](double w) { return w > before + 1 && w < target - 1; }));
        // Critically damped: it only ever grows, and never past its target.
        EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end())) << "the fill shrank on its way";
        EXPECT_LE(*std::max_element(widths.begin(), widths.end()), target + 1e-9);
        return widths.back();
    }
};

TEST_F(ProgressTest, FillSpringsToEachFractionWithoutOvershooting) {
    show(UninstallService::Uninstalling{});
    QQuickItem* fill = item("progressFill");
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(fill->width(), 0);
    EXPECT_EQ(sceneRect(fill).left(), 130);

    EXPECT_NEAR(springTo(2.0 / 7.0), 62.857142857, 1e-6);
    EXPECT_NEAR(springTo(1.0), fullWidth, 1e-9);
}

TEST_F(ProgressTest, TheBarGoesWithTheRunAndTheNextRunStartsEmpty) {
    show(UninstallService::Uninstalling{}, 3.0 / 7.0);
    QTest::qWait(50);
    ASSERT_NE(shown("progressBar"), nullptr);

    setPhase(UninstallService::Failed{"Remove nuvra apps", "Boom."});
    EXPECT_EQ(shown("progressBar"), nullptr);
    EXPECT_NE(shown("primaryButton"), nullptr);

    // Retry: the service clears the steps before the phase changes.
    model_.setProgressFraction(0);
    setPhase(UninstallService::Uninstalling{});
    QQuickItem* fill = item("progressFill");
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(fill->width(), 0);
    QTest::qWait(100);
    EXPECT_EQ(fill->width(), 0);

    model_.setProgressFraction(1);
    sampleUntilSettled(fill);
    setPhase(UninstallService::Done{});
    EXPECT_EQ(item("progressFill"), nullptr);
}

// ---- hover fades ----------------------------------------------------------------------------

struct Fade {
    std::vector<double> values;
    qint64 settledAfterMs = -1; // when the value first reached its target
};

// Follows one opacity from the moment the pointer moved until it reaches `target`.
Fade follow(const QQuickItem* target, double to, int limitMs = 1000) {
    Fade fade;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
        const double value = target->opacity();
        fade.values.push_back(value);
        if (qFuzzyCompare(value, to)) {
            fade.settledAfterMs = clock.elapsed();
            break;
        }
        QTest::qWait(4);
    }
    return fade;
}

bool passesThrough(const Fade& fade, double from, double to) {
    const double low = std::min(from, to) + 0.02;
    const double high = std::max(from, to) - 0.02;
    return std::any_of(fade.values.begin(), fade.values.end(),
                       [&](double v) { return v > low && v < high; });
}

TEST_F(UninstallerViewTest, WeakLinkDarkensTextAndUnderlineWhileHovered) {
    show(UninstallService::NothingFound{});
    QQuickItem* link = shown("weakActionLink");
    ASSERT_NE(link, nullptr);
    QQuickItem* text = child(link, "linkText");
    QQuickItem* underline = child(link, "linkUnderline");
    EXPECT_EQ(text->property("color").value<QColor>(), QColor(0x14, 0x16, 0x1A));
    EXPECT_EQ(underline->property("color").value<QColor>(), QColor(0x14, 0x16, 0x1A));
    EXPECT_DOUBLE_EQ(text->opacity(), 0.5);
    EXPECT_DOUBLE_EQ(underline->opacity(), 0.28);
    EXPECT_FALSE(link->property("hovering").toBool());

    ASSERT_TRUE(hover(link));
    const Fade textIn = follow(text, 1.0);
    EXPECT_TRUE(passesThrough(textIn, 0.5, 1.0)) << "the text jumped instead of fading";
    ASSERT_GE(textIn.settledAfterMs, 0) << "the text never reached full opacity";
    // A short fade (about 0.12 s), not a slow one; loose, since the machine may be busy.
    EXPECT_LT(textIn.settledAfterMs, 500);
    RecordProperty("fadeInMs", static_cast<int>(textIn.settledAfterMs));
    EXPECT_DOUBLE_EQ(underline->opacity(), 1.0);

    ASSERT_TRUE(hoverAway(link));
    const Fade underlineOut = follow(underline, 0.28);
    EXPECT_TRUE(passesThrough(underlineOut, 1.0, 0.28));
    ASSERT_GE(underlineOut.settledAfterMs, 0);
    EXPECT_DOUBLE_EQ(text->opacity(), 0.5);
}

TEST_F(UninstallerViewTest, ExternalLinkFadesOnlyItsUnderline) {
    show(UninstallService::Done{});
    QQuickItem* link = shown("externalLink");
    ASSERT_NE(link, nullptr);
    QQuickItem* text = child(link, "linkText");
    QQuickItem* arrow = child(link, "linkArrow");
    QQuickItem* underline = child(link, "linkUnderline");
    EXPECT_DOUBLE_EQ(underline->opacity(), 0.32);

    ASSERT_TRUE(hover(link));
    const Fade underlineIn = follow(underline, 1.0);
    EXPECT_TRUE(passesThrough(underlineIn, 0.32, 1.0));
    ASSERT_GE(underlineIn.settledAfterMs, 0);
    // Text and arrow are textPrimary in both states.
    EXPECT_EQ(text->property("color").value<QColor>(), QColor(0x14, 0x16, 0x1A));
    EXPECT_DOUBLE_EQ(text->opacity(), 1.0);
    EXPECT_DOUBLE_EQ(arrow->opacity(), 1.0);

    ASSERT_TRUE(hoverAway(link));
    const Fade underlineOut = follow(underline, 0.32);
    EXPECT_TRUE(passesThrough(underlineOut, 1.0, 0.32));
    ASSERT_GE(underlineOut.settledAfterMs, 0);
}

// ---- clicks ---------------------------------------------------------------------------------

struct ClickCase {
    const char* name;
    Phase phase;
    const char* target;
    int RecordingActions::*counter;
};

void PrintTo(const ClickCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<ClickCase> clickCases() {
    const UninstallService::Failed failed{"Remove nuvra apps", "Boom."};
    return {
        {"Uninstall", UninstallService::Ready{}, "primaryButton", &RecordingActions::starts},
        {"Retry", failed, "primaryButton", &RecordingActions::starts},
        {"FailedShowLog", failed, "weakActionLink", &RecordingActions::logs},
        {"CleanUpAnyway", UninstallService::NothingFound{}, "weakActionLink",
         &RecordingActions::starts},
        {"NothingFoundQuit", UninstallService::NothingFound{}, "primaryButton",
         &RecordingActions::quits},
        {"DoneQuit", UninstallService::Done{}, "primaryButton", &RecordingActions::quits},
        {"DownloadAgain", UninstallService::Done{}, "externalLink", &RecordingActions::downloads},
        {"ResiduesShowLog", UninstallService::Done{{"x"}}, "weakActionLink",
         &RecordingActions::logs},
    };
}

class ClickTest : public UninstallerViewTest, public ::testing::WithParamInterface<ClickCase> {};

// No debouncing and no disabling: every click asks again, and only for its own operation.
TEST_P(ClickTest, EachClickCallsItsOperationOnce) {
    const ClickCase& c = GetParam();
    show(c.phase);
    QQuickItem* target = shown(c.target);
    ASSERT_NE(target, nullptr);

    click(target);
    EXPECT_EQ(actions_.*c.counter, 1);
    click(target);
    EXPECT_EQ(actions_.*c.counter, 2);
    EXPECT_EQ(actions_.starts + actions_.logs + actions_.downloads + actions_.quits, 2);
}

INSTANTIATE_TEST_SUITE_P(EveryControl, ClickTest, ::testing::ValuesIn(clickCases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(UninstallerViewTest, CheckingPlaceholderAndProgressBarIgnoreClicks) {
    show(UninstallService::Scanning{});
    click(shown("checkingPlaceholder"));
    click(item("linkRow"));

    setPhase(UninstallService::Uninstalling{});
    click(shown("progressBar"));
    click(item("linkRow"));
    EXPECT_EQ(actions_.starts + actions_.logs + actions_.downloads + actions_.quits, 0);
}

// A click that starts on the button and is released outside it is no click.
TEST_F(UninstallerViewTest, PressOnTheButtonReleasedOutsideDoesNothing) {
    show(UninstallService::Ready{});
    const QRectF button = sceneRect(shown("primaryButton"));
    QTest::mousePress(view_.get(), Qt::LeftButton, {}, button.center().toPoint());
    QTest::mouseMove(view_.get(), QPoint(240, 420));
    QTest::mouseRelease(view_.get(), Qt::LeftButton, {}, QPoint(240, 420));
    EXPECT_EQ(actions_.starts, 0);
}

// ---- colours --------------------------------------------------------------------------------

TEST_F(UninstallerViewTest, DrawsTheBrandGreenButtonOnTheLightBackground) {
    show(UninstallService::Ready{});
    const QImage image = view_->grabWindow();
    ASSERT_EQ(image.size(), QSize(480, 450));
    // Left of the label, clear of the rounded corners.
    EXPECT_EQ(QColor(image.pixel(145, 323)), QColor(0xB2, 0xE0, 0x0B));
    EXPECT_EQ(QColor(image.pixel(5, 5)), QColor(0xF7, 0xF7, 0xF7));
    EXPECT_EQ(QColor(image.pixel(240, 430)), QColor(0xF7, 0xF7, 0xF7));
}

// ---- accessibility --------------------------------------------------------------------------

struct AccessibleNode {
    QAccessible::Role role;
    QString name;
};

void collect(QAccessibleInterface* node, std::vector<AccessibleNode>& out, int depth = 0) {
    if (!node || depth > 32) {
        return;
    }
    if (!node->state().invisible) {
        out.push_back({node->role(), node->text(QAccessible::Name)});
    }
    for (int i = 0; i < node->childCount(); ++i) {
        collect(node->child(i), out, depth + 1);
    }
}

bool contains(const std::vector<AccessibleNode>& nodes, QAccessible::Role role,
              const QString& name) {
    return std::any_of(nodes.begin(), nodes.end(),
                       [&](const AccessibleNode& n) { return n.role == role && n.name == name; });
}

TEST_P(ScreenTest, EveryControlHasARoleAndName) {
    const ScreenCase& expected = GetParam();
    show(expected.phase);
    std::vector<AccessibleNode> nodes;
    collect(QAccessible::queryAccessibleInterface(view_.get()), nodes);

    EXPECT_TRUE(contains(nodes, QAccessible::Heading, QString::fromUtf8(expected.headline)));
    EXPECT_TRUE(
        contains(nodes, QAccessible::StaticText, QString::fromStdString(expected.subtitle)));
    const std::string control = expected.control;
    if (control == "primaryButton") {
        EXPECT_TRUE(contains(nodes, QAccessible::Button, QString::fromUtf8(expected.controlTitle)));
    } else if (control == "progressBar") {
        EXPECT_TRUE(contains(nodes, QAccessible::ProgressBar, QStringLiteral("Uninstalling…")));
    } else {
        EXPECT_TRUE(contains(nodes, QAccessible::StaticText, QStringLiteral("Checking…")));
    }
    if (expected.link) {
        EXPECT_TRUE(contains(nodes, QAccessible::Link, QString::fromUtf8(expected.linkTitle)));
    }
    // Nothing a user can act on is left without a name.
    for (const AccessibleNode& node : nodes) {
        if (node.role == QAccessible::Button || node.role == QAccessible::Link) {
            EXPECT_FALSE(node.name.isEmpty());
        }
    }
}

// Assistive technology presses controls through their press action, not the mouse.
TEST_F(UninstallerViewTest, AccessiblePressRunsTheControlsOperation) {
    show(UninstallService::Failed{"Remove nuvra apps", "Boom."});
    for (const char* name : {"primaryButton", "weakActionLink"}) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(shown(name));
        ASSERT_NE(control, nullptr) << name;
        ASSERT_NE(control->actionInterface(), nullptr) << name;
        control->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    }
    EXPECT_EQ(actions_.starts, 1);
    EXPECT_EQ(actions_.logs, 1);
}

// Assistive technology reads the bar's value as a number, not only its description, and the
// value follows the run. (Its value-change events cannot be seen here: the offscreen platform has
// no accessibility back end, so Qt drops every event before any handler.)
TEST_F(UninstallerViewTest, ProgressBarExposesItsValue) {
    show(UninstallService::Uninstalling{}, 2.0 / 7.0);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(shown("progressBar"));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    EXPECT_EQ(bar->text(QAccessible::Name), QStringLiteral("Uninstalling…"));
    QAccessibleValueInterface* value = bar->valueInterface();
    ASSERT_NE(value, nullptr) << "the progress bar has no value interface";
    EXPECT_DOUBLE_EQ(value->minimumValue().toDouble(), 0);
    EXPECT_DOUBLE_EQ(value->maximumValue().toDouble(), 1);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 2.0 / 7.0);
    model_.setProgressFraction(3.0 / 7.0);
    EXPECT_DOUBLE_EQ(value->currentValue().toDouble(), 3.0 / 7.0);
}

} // namespace
