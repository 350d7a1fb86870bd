// Tests of the message table: fallbacks, the system language, code pages and bounds.
#include "imaging/core/iewords.h"

#include <gtest/gtest.h>

using namespace imaging;

namespace {

TEST(MessageTable, EveryFilledRowHasAllWordsWithoutUnmappableCharacters)
{
    for (int lang = msEnglish; lang <= msPolish; ++lang) {
        for (int i = 0; i < kIEWordCount; ++i) {
            auto word = IEGetMessage(static_cast<std::uint8_t>(i), static_cast<TMsgLanguage>(lang));
            EXPECT_FALSE(word.empty()) << "language " << lang << " word " << i;
            EXPECT_EQ(word.find('?'), std::string::npos)
                << "language " << lang << " word " << i << ": " << word;
        }
    }
}

TEST(MessageTable, RowsAreNotShiftedAgainstTheEnglishRow)
{
    // A missing separator in a row would shift every later word; check anchors at both ends.
    EXPECT_EQ(IEGetMessage(0, msEnglish), "Preview");
    EXPECT_EQ(IEGetMessage(11, msEnglish), "Value");
    EXPECT_EQ(IEGetMessage(103, msEnglish), "Value");
    EXPECT_EQ(IEGetMessage(123, msEnglish), "Rate");
    EXPECT_EQ(IEGetMessage(130, msEnglish), "Print Selected");
    EXPECT_EQ(IEGetMessage(0, msItalian), "Anteprima");
    EXPECT_EQ(IEGetMessage(0, msGerman), "Vorschau");
    EXPECT_EQ(IEGetMessage(0, msSpanish), "Vista Previa");
    EXPECT_EQ(IEGetMessage(0, msFrench), "Pr\xE9visualisation");
    EXPECT_EQ(IEGetMessage(0, msPortuguese), "Visualizar");
    EXPECT_EQ(IEGetMessage(0, msDutch), "Voorbeeld");
    EXPECT_EQ(IEGetMessage(0, msSwedish), "Granska");
    EXPECT_EQ(IEGetMessage(4, msItalian), "Annulla");
    EXPECT_EQ(IEGetMessage(4, msGerman), "Abbrechen");
    EXPECT_EQ(IEGetMessage(4, msSpanish), "Cancelar");
    EXPECT_EQ(IEGetMessage(4, msPortuguese), "Cancelar");
    EXPECT_EQ(IEGetMessage(4, msFrench), "Annuler");
    EXPECT_EQ(IEGetMessage(4, msDutch), "Annuleren");
    EXPECT_EQ(IEGetMessage(4, msSwedish), "Avbryt");
    EXPECT_EQ(IEGetMessage(4, msPolish), "Anuluj");
    for (auto lang : {msGerman, msSpanish, msFrench, msPortuguese, msGreek, msDutch})
        EXPECT_EQ(IEGetMessage(123, lang), "Rate") << int(lang);
    for (int lang = msItalian; lang <= msPolish; ++lang) {
        EXPECT_EQ(IEGetMessage(3, static_cast<TMsgLanguage>(lang)).empty(), false);
        EXPECT_EQ(IEGetMessage(125, static_cast<TMsgLanguage>(lang)), "Video for Windows") << lang;
    }
}

TEST(MessageTable, PolishWord123FallsBackToEnglish) { EXPECT_EQ(IEGetMessage(123, msPolish), "Rate"); }

TEST(MessageTable, UserRowFallsBackUntilTheApplicationStoresItsWord)
{
    EXPECT_EQ(IEGetMessage(1, msUser), "Original");
    IESetMessage(msUser, 1, "Mine");
    EXPECT_EQ(IEGetMessage(1, msUser), "Mine");
    IESetMessage(msUser, 1, "");
    EXPECT_EQ(IEGetMessage(1, msUser), "Original");
}

TEST(MessageTable, IndexesBeyondTheTableAreRefused)
{
    EXPECT_EQ(IEGetMessage(131, msEnglish), "");
    EXPECT_EQ(IEGetMessage(255, msSystem), "");
    IESetMessage(msEnglish, 200, "x");
    IESetMessage(static_cast<TMsgLanguage>(40), 0, "x");
    EXPECT_EQ(IEGetMessage(0, static_cast<TMsgLanguage>(40)), "Preview");
}

TEST(MessageTable, CodePagesOfGreekRussianPolish)
{
    EXPECT_EQ(IEGetMessage(4, msRussian), "\xCE\xF2\xEC\xE5\xED\xE0");  // Отмена in 1251
    EXPECT_EQ(IEGetMessage(4, msGreek), "\xA2\xEA\xF5\xF1\xEF");        // Άκυρο in 1253
}

int gLanguageId = 9;
int FakeLanguage() { return gLanguageId; }

TEST(MessageTable, SystemLanguageFollowsThePrimaryIdentifier)
{
    IESetSystemLanguageQuery(&FakeLanguage);
    gLanguageId = 7;
    EXPECT_EQ(IEGetMessage(0, msSystem), "Vorschau");
    gLanguageId = 17;  // Japanese: no row, so English
    for (int i = 0; i < kIEWordCount; ++i)
        EXPECT_EQ(IEGetMessage(std::uint8_t(i), msSystem), IEGetMessage(std::uint8_t(i), msEnglish));
    gLanguageId = 21;
    EXPECT_EQ(IEGetMessage(123, msSystem), "Rate");
    EXPECT_EQ(IEGetMessage(4, msSystem), "Anuluj");
    IESetSystemLanguageQuery(nullptr);
    EXPECT_EQ(IELanguageFromPrimaryId(25), msRussian);
    EXPECT_EQ(IELanguageFromPrimaryId(29), msSwedish);
    EXPECT_EQ(IELanguageFromPrimaryId(0), msEnglish);
}

TEST(MessageTable, Utf8ConversionFlagsCharactersOutsideTheCodePage)
{
    bool ok = true;
    EXPECT_EQ(IEUtf8ToCodePage("\xD0\x96", 1252, &ok), "?");
    EXPECT_FALSE(ok);
    EXPECT_EQ(IEUtf8ToCodePage("\xC5\x82", 1250, &ok), "\xB3");
    EXPECT_TRUE(ok);
    EXPECT_EQ(IEUtf8ToCodePage("\xC3", 1252, &ok), "?");  // truncated sequence
    EXPECT_FALSE(ok);
}

}  // namespace
