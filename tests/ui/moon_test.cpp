// The moon picture: the two stored images against the disc geometry, the
// shading at the principal phases, and the component at real moments.
#include "astro/angles.h"
#include "astro/lunar_quantities.h"
#include "astro/phase_dates.h"
#include "fakes/fake_local_clock.h"
#include "platform/exception.h"
#include "ui/moon.h"

#include <QFile>
#include <QSet>
#include <gtest/gtest.h>

#include <cmath>

namespace ui {
namespace {

// The committed images, found beside the sources (the resources may not be
// compiled into this program). Not through __FILE__: a compiler cache with a
// base directory makes it relative to the build folder, not to the test's.
QImage ImageFile(const QString& resourceName)
{
    const QString folder = QStringLiteral(TIKORA_SOURCE_DIR "/res/");
    return QImage(folder + resourceName.toLower() + QStringLiteral(".png"));
}

QImage Clean(TMoonSize size)
{
    return ImageFile(QString::fromLatin1(MoonGeometry(size).resource)).convertToFormat(QImage::Format_RGB32);
}

// Half the disc's width on a row y pixels from the centre row.
int HalfWidth(const TMoonGeometry& g, int y)
{
    return static_cast<int>(std::nearbyint(std::sqrt(double(g.R * g.R - y * y))));
}

bool IsBlack(const QImage& image, int x, int y)
{
    return (image.pixel(x, y) & 0xFFFFFF) == 0;
}

// The columns that shading changed on a row; each changed pixel must be black.
std::vector<int> Darkened(const QImage& shaded, const QImage& clean, int row)
{
    std::vector<int> columns;
    for (int x = 0; x < clean.width(); ++x) {
        if (shaded.pixel(x, row) == clean.pixel(x, row))
            continue;
        EXPECT_TRUE(IsBlack(shaded, x, row)) << "column " << x << " row " << row;
        columns.push_back(x);
    }
    return columns;
}

std::vector<int> Columns(int first, int last)
{
    std::vector<int> columns;
    for (int x = first; x <= last; ++x)
        columns.push_back(x);
    return columns;
}

constexpr TMoonSize kSizes[] = {ms64, ms32};

TEST(MoonImages, DiscIsLitExactlyWhereTheGeometrySaysAndUsesAtMost16Colours)
{
    for (const TMoonSize size : kSizes) {
        const TMoonGeometry& g = MoonGeometry(size);
        const QImage image = ImageFile(QString::fromLatin1(g.resource));
        ASSERT_EQ(image.size(), QSize(g.width, g.height)) << g.resource;
        QSet<QRgb> colours, discGreys;
        for (int y = 0; y < g.height; ++y) {
            for (int x = 0; x < g.width; ++x) {
                const int dy = std::abs(y - g.cy);
                const bool inDisc = dy <= g.R && std::abs(x - g.cx) <= HalfWidth(g, dy);
                EXPECT_EQ(IsBlack(image, x, y), !inDisc) << g.resource << " at " << x << "," << y;
                colours.insert(image.pixel(x, y));
                if (inDisc)
                    discGreys.insert(image.pixel(x, y));
            }
        }
        EXPECT_LE(colours.size(), 16) << g.resource;
        EXPECT_GE(discGreys.size(), 8) << g.resource << ": maria and highlands, not a flat disc";
    }
}

TEST(MoonImages, ResourcesCarryTheCommittedImages)
{
    if (!QFile::exists(QStringLiteral(":/MOON_LARGE")))
        GTEST_SKIP() << "the moon images are not compiled into this program";
    for (const TMoonSize size : kSizes) {
        const QString name = QString::fromLatin1(MoonGeometry(size).resource);
        EXPECT_EQ(LoadMoonResource(name).convertToFormat(QImage::Format_RGB32),
                  ImageFile(name).convertToFormat(QImage::Format_RGB32));
    }
}

// Expected dark columns of a row, given half the disc's width there.
using Expected = std::vector<int> (*)(const TMoonGeometry& g, int a);

void ExpectShading(long double degrees, Expected expected)
{
    for (const TMoonSize size : kSizes) {
        const TMoonGeometry& g = MoonGeometry(size);
        const QImage clean = Clean(size);
        QImage shaded = clean;
        ShadeMoonPhase(shaded, g, degrees);
        for (int row = 0; row < g.height; ++row) {
            const int dy = std::abs(row - g.cy);
            const std::vector<int> want = dy <= g.R ? expected(g, HalfWidth(g, dy)) : std::vector<int>{};
            EXPECT_EQ(Darkened(shaded, clean, row), want) << degrees << " degrees, " << g.resource << " row " << row;
        }
    }
}

TEST(MoonShading, PrincipalPhases)
{
    // New moon, exactly 180: the waning branch with c = -1 darkens every disc row whole.
    ExpectShading(180, [](const TMoonGeometry& g, int a) { return Columns(g.cx - a, g.cx + a); });
    ExpectShading(90, [](const TMoonGeometry& g, int a) { return Columns(g.cx - a, g.cx); });
    ExpectShading(270, [](const TMoonGeometry& g, int a) { return Columns(g.cx, g.cx + a); });
    // Full moon: one limb pixel per row, on the side the shadow comes from.
    ExpectShading(0, [](const TMoonGeometry& g, int a) { return Columns(g.cx - a, g.cx - a); });
    ExpectShading(359.99L, [](const TMoonGeometry& g, int a) { return Columns(g.cx + a, g.cx + a); });
}

TEST(MoonShading, CrescentsKeepTheirLitLimbOnTheRightSide)
{
    const TMoonGeometry& g = MoonGeometry(ms64);
    const QImage clean = Clean(ms64);
    QImage waxing = clean, waning = clean;
    ShadeMoonPhase(waxing, g, 160);   // evening crescent: lit on the right
    ShadeMoonPhase(waning, g, 200);   // morning crescent: lit on the left
    EXPECT_TRUE(IsBlack(waxing, g.cx - g.R, g.cy));
    EXPECT_FALSE(IsBlack(waxing, g.cx + g.R, g.cy));
    EXPECT_FALSE(IsBlack(waning, g.cx - g.R, g.cy));
    EXPECT_TRUE(IsBlack(waning, g.cx + g.R, g.cy));
}

// The phase moments of January 2000, from the phase series.
astro::DateTimeValue Phase(astro::TPhaseKind kind)
{
    return astro::NextPhase(kind, astro::kDate2000);
}

QImage Shaded(TMoonSize size, long double degrees)
{
    QImage image = Clean(size);
    ShadeMoonPhase(image, MoonGeometry(size), degrees);
    return image;
}

// Each test runs in its own process: nothing else has registered the images.
TEST(Moon, LoadsItsOwnImagesWithoutTheWindow)
{
    const fakes::FakeSystemClock clock(Phase(astro::pkFull));
    TMoon moon(nullptr, &clock);
    EXPECT_EQ(moon.Picture().size(), QSize(64, 64));
    moon.SetMoonSize(ms32);
    EXPECT_EQ(moon.Picture().size(), QSize(32, 32));
}

TEST(Moon, NewInstanceIsLargeAndShowsItsCreationMoment)
{
    const fakes::FakeSystemClock clock(Phase(astro::pkFirstQuarter));
    TMoon moon(nullptr, &clock, ImageFile);
    EXPECT_EQ(moon.MoonSize(), ms64);
    EXPECT_EQ(moon.size(), QSize(64, 64));
    EXPECT_EQ(moon.Date(), clock.now);
    EXPECT_FALSE(moon.DateStored());
    EXPECT_EQ(moon.PhaseDegrees(), astro::Normalize360(astro::MoonPhaseAngle(clock.now)));
    EXPECT_NEAR(static_cast<double>(moon.PhaseDegrees()), 90, 2);
    EXPECT_EQ(moon.Picture(), Shaded(ms64, moon.PhaseDegrees()));

    const QImage large = moon.Picture();
    moon.SetMoonSize(ms32);
    EXPECT_EQ(moon.size(), QSize(32, 32));
    EXPECT_NE(moon.Picture(), large);
    EXPECT_EQ(moon.Picture(), Shaded(ms32, moon.PhaseDegrees()));
}

TEST(Moon, PictureAtThePhaseMoments)
{
    const fakes::FakeSystemClock clock(0);
    TMoon moon(nullptr, &clock, ImageFile);
    const TMoonGeometry& g = MoonGeometry(ms64);
    const auto darkInRow = [&](int row) {   // of the disc's pixels
        const int a = HalfWidth(g, std::abs(row - g.cy));
        int dark = 0;
        for (int x = g.cx - a; x <= g.cx + a; ++x)
            dark += IsBlack(moon.Picture(), x, row);
        return dark;
    };

    moon.SetDate(Phase(astro::pkNew));
    EXPECT_TRUE(moon.DateStored());
    EXPECT_NEAR(static_cast<double>(moon.PhaseDegrees()), 180, 3);
    for (int y = -g.R; y <= g.R; ++y)   // every row dark but perhaps its limb pixels
        EXPECT_GE(darkInRow(g.cy + y), 2 * HalfWidth(g, std::abs(y)) - 1) << "row " << g.cy + y;

    moon.SetDate(Phase(astro::pkFull));
    const double full = static_cast<double>(moon.PhaseDegrees());
    EXPECT_TRUE(full < 8 || full > 352) << full;
    for (int y = -g.R; y <= g.R; ++y)
        EXPECT_LE(darkInRow(g.cy + y), 2) << "row " << g.cy + y;
    EXPECT_EQ(moon.Picture(), Shaded(ms64, moon.PhaseDegrees()));   // nothing of the new moon left

    for (const auto& [kind, degrees] : {std::pair{astro::pkFirstQuarter, 90}, std::pair{astro::pkLastQuarter, 270}}) {
        moon.SetDate(Phase(kind));
        EXPECT_NEAR(static_cast<double>(moon.PhaseDegrees()), degrees, 2);
        const int darkSide = kind == astro::pkFirstQuarter ? -1 : 1;
        for (int y = -g.R; y <= g.R; ++y) {
            const int a = HalfWidth(g, std::abs(y));
            for (int d = 1; d <= a; ++d) {
                EXPECT_TRUE(IsBlack(moon.Picture(), g.cx + darkSide * d, g.cy + y));
                EXPECT_FALSE(IsBlack(moon.Picture(), g.cx - darkSide * d, g.cy + y));
            }
        }
    }
}

TEST(Moon, SameDateTwiceGivesTheSamePicture)
{
    const fakes::FakeSystemClock clock(0);
    TMoon moon(nullptr, &clock, ImageFile);
    moon.SetMoonSize(ms32);
    const astro::DateTimeValue crescent = Phase(astro::pkNew) + 4.25;
    moon.SetDate(crescent);
    const QImage first = moon.Picture();
    moon.SetDate(crescent);
    EXPECT_EQ(moon.Picture(), first);
    moon.ReloadPicture();
    EXPECT_EQ(moon.Picture(), first);
}

TEST(Moon, AnImageOfTheWrongSizeIsRefused)
{
    const fakes::FakeSystemClock clock(0);
    const auto tooSmall = [](const QString& name) { return ImageFile(name).scaled(16, 16); };
    EXPECT_THROW(TMoon(nullptr, &clock, tooSmall), Exception);
}

} // namespace
} // namespace ui
