#include "adif_reader.h"
#include "cw_adif_record.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

namespace {

CW_LOG_QSO full_qso()
{
    return CW_LOG_QSO{" dl1abc ", "hans", "599", "5nn", " 7.030000 ", "jo62", "berlin", " Nice sig, tnx ",
                      "20240102", "030405", "qq0qq", "jn36"};
}

TEST(CWAdifRecord, EveryFieldInOrder)
{
    EXPECT_EQ(cw_log_adif_record(full_qso()),
              "<CALL:6>DL1ABC<FREQ:8>7.030000<MODE:2>CW<QSO_DATE:8>20240102<TIME_ON:6>030405"
              "<QSO_DATE_OFF:8>20240102<TIME_OFF:6>030405<RST_SENT:3>599<RST_RCVD:3>5NN"
              "<STATION_CALLSIGN:5>QQ0QQ<MY_GRIDSQUARE:4>JN36<NAME:4>HANS<GRIDSQUARE:4>JO62"
              "<QTH:6>BERLIN<COMMENT:13>Nice sig, tnx<EOR>");
}

TEST(CWAdifRecord, LengthsCountUtf8BytesAndEmptyFieldsAreLeftOut)
{
    CW_LOG_QSO qso = full_qso();
    qso.name = "J\u00f6rg";  // four letters, five bytes
    qso.grid = " ";
    qso.qth = "";
    qso.comment = "\n";
    const AdifFile file = adif_read(cw_log_adif_record(qso));
    ASSERT_TRUE(file.ok);
    ASSERT_EQ(file.records.size(), 1u);
    const AdifFields& fields = file.records[0];
    EXPECT_EQ(fields.size(), 12u);
    EXPECT_EQ(fields.back(), (std::pair<std::string, std::string>("NAME", "J\u00d6RG")));
    EXPECT_NE(cw_log_adif_record(qso).find("<NAME:5>"), std::string::npos);
    std::string record;
    cw_adif_append_tag(record, "X", " \t");
    EXPECT_EQ(record, "");
}

TEST(CWAdifRecord, ModeIsAlwaysWritten)
{
    EXPECT_EQ(cw_log_adif_record(CW_LOG_QSO{}), "<MODE:2>CW<EOR>");
}

TEST(CWLogFrequency, ParsesMhzAndHzAndRefusesTheRest)
{
    struct Case {
        const char* text;
        double hz;
    };
    for (const Case c : {Case{"7.03", 7030000}, Case{"7030000", 7030000}, Case{" 7.03 MHz", 7030000},
                         Case{"136000", 136000}, Case{"999.9", 999.9e6}, Case{"", 0}, Case{"abc", 0},
                         Case{"-7.03", 0}, Case{"0", 0}, Case{"1e999", 0}, Case{"nan", 0}, Case{"inf", 0},
                         Case{"1000", 0}, Case{"14074.0", 0}, Case{"99999", 0}, Case{"100000", 100000},
                         Case{"2e12", 0}})
        EXPECT_DOUBLE_EQ(cw_frequency_hz_from_log_string(c.text), c.hz) << c.text;
}

TEST(CWLogFrequency, RefusalsSayWhy)
{
    EXPECT_EQ(cw_log_frequency_problem("14074.0"), "QRG \"14074.0\" looks like kHz. Enter MHz (14.074000) or Hz (14074000).");
    EXPECT_EQ(cw_log_frequency_problem(" 1e999 "), "QRG \"1e999\" is not a frequency. Enter MHz (7.030) or Hz (7030000).");
    EXPECT_EQ(cw_log_frequency_problem("7.03"), "");
    EXPECT_EQ(cw_log_frequency_problem(""), "");
}

TEST(CWLogFrequency, FormattedInMhzWithSixDecimals)
{
    EXPECT_EQ(cw_log_frequency_string(7030000), "7.030000");
    EXPECT_EQ(cw_log_frequency_string(0), "");
    EXPECT_EQ(cw_log_frequency_string(1.0 / 0.0), "");
    EXPECT_EQ(cw_log_prepared_frequency_text(" 7.03 "), "7.030000");
    EXPECT_EQ(cw_log_prepared_frequency_text("7030000"), "7.030000");
    EXPECT_EQ(cw_log_prepared_frequency_text(" 14074 "), "14074");
}

TEST(CWLogValidation, NamesTheMissingFieldsInOrder)
{
    const CW_LOG_REQUIRED_VALUES complete = {"DL1ABC", "7.030000", "599", "599", "QQ0QQ", "JN36"};
    EXPECT_TRUE(cw_missing_log_fields(complete).empty());
    EXPECT_EQ(cw_missing_log_fields_text(complete), "");
    CW_LOG_REQUIRED_VALUES values = complete;
    values.call = " ";
    values.rstRcvd = "";
    EXPECT_EQ(cw_missing_log_fields_text(values), "Missing required field(s): CALL, RST-R");
    const std::vector<std::string> all = {"CALL", "QRG", "RST-S", "RST-R", "STATION CALLSIGN", "MY GRID"};
    EXPECT_EQ(cw_missing_log_fields(CW_LOG_REQUIRED_VALUES{}), all);
}

TEST(CWLogValidation, RefusedQrgIsExplained)
{
    CW_LOG_REQUIRED_VALUES values = {"DL1ABC", "14074.0", "599", "599", "QQ0QQ", "JN36"};
    EXPECT_EQ(cw_missing_log_fields_text(values), "Missing required field(s): QRG\n\n" +
                                                      cw_log_frequency_problem("14074.0"));
    values.freq = "nan";
    EXPECT_EQ(cw_missing_log_fields(values), std::vector<std::string>{"QRG"});
}

TEST(CWLogDialog, StationLineStampAndInformativeText)
{
    MapStore store;
    EXPECT_EQ(cw_log_station_line(cw_log_station(store)), "Station: --    MY GRID: --    MODE: CW");
    store.values = {{"CWMacroSetupCallsign", " qq0qq "}, {"CWMacroSetupLoc", "jn36"}};
    EXPECT_EQ(cw_log_station_line(cw_log_station(store)), "Station: QQ0QQ    MY GRID: JN36    MODE: CW");
    const CW_UTC_STAMP stamp = cw_utc_stamp(1704164645);  // 2024-01-02 03:04:05 UTC
    EXPECT_EQ(stamp.date, "20240102");
    EXPECT_EQ(stamp.time, "030405");
    EXPECT_EQ(cw_log_dialog_informative_text(stamp), "UTC timestamp captured at Log click: 20240102 030405. "
                                                     "ADIF is always saved locally. UDP transfer is optional per QSO.");
}

}  // namespace
