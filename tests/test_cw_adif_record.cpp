// A logged QSO as an ADIF record, and the checks before it is logged.
#include "adif_reader.h"
#include "cw_adif_record.h"
#include "map_preference_store.h"

#include <gtest/gtest.h>

TEST(CWAdifRecord, EveryFieldInOrderTrimmedAndUpperCasedButTheComment)
{
    const CW_LOG_QSO qso{" dl1abc ",        "hans",     "599",    "5nn",   " 7.030000 ", "jo62", "berlin",
                         " Nice sig, tnx ", "20240102", "030405", "qq0qq", "jn36"};
    EXPECT_EQ(cw_log_adif_record(qso), "<CALL:6>DL1ABC<FREQ:8>7.030000<MODE:2>CW<QSO_DATE:8>20240102<TIME_ON:6>030405"
                                       "<QSO_DATE_OFF:8>20240102<TIME_OFF:6>030405<RST_SENT:3>599<RST_RCVD:3>5NN"
                                       "<STATION_CALLSIGN:5>QQ0QQ<MY_GRIDSQUARE:4>JN36<NAME:4>HANS<GRIDSQUARE:4>JO62"
                                       "<QTH:6>BERLIN<COMMENT:13>Nice sig, tnx<EOR>");
    EXPECT_EQ(cw_log_adif_record(CW_LOG_QSO{}), "<MODE:2>CW<EOR>");
}

// Lengths count UTF-8 bytes, so a reader that follows them finds every
// field; blank fields are left out.
TEST(CWAdifRecord, LengthsCountUtf8BytesAndBlankFieldsAreLeftOut)
{
    const CW_LOG_QSO qso{"DL1ABC", "J\u00f6rg", "599",      "599",    "7.03",  " ",
                         "",       "\n",        "20240102", "030405", "QQ0QQ", "JN36"};
    const AdifFile file = adif_read(cw_log_adif_record(qso));
    ASSERT_TRUE(file.ok && file.records.size() == 1u);
    EXPECT_EQ(file.records[0].size(), 12u);
    EXPECT_EQ(file.records[0].back(), (std::pair<std::string, std::string>("NAME", "J\u00d6RG")));
}

// MHz below 1000 or Hz from 100 kHz up; what looks like kHz, or is no
// frequency at all, is refused with a reason.
TEST(CWLogFrequency, ParsesMhzAndHzAndExplainsRefusals)
{
    for (auto [text, hz] : {std::pair{"7.03", 7030000.0},
                            {" 7.03 MHz", 7030000.0},
                            {"999.9", 999.9e6},
                            {"100000", 100000.0},
                            {"", 0.0},
                            {"abc", 0.0},
                            {"-7.03", 0.0},
                            {"1e999", 0.0},
                            {"nan", 0.0},
                            {"1000", 0.0},
                            {"99999", 0.0},
                            {"2e12", 0.0}})
        EXPECT_DOUBLE_EQ(cw_frequency_hz_from_log_string(text), hz) << text;
    EXPECT_EQ(cw_log_frequency_problem("14074.0"),
              "QRG \"14074.0\" looks like kHz. Enter MHz (14.074000) or Hz (14074000).");
    EXPECT_EQ(cw_log_frequency_problem(" 1e999 "),
              "QRG \"1e999\" is not a frequency. Enter MHz (7.030) or Hz (7030000).");
    EXPECT_EQ(cw_log_frequency_problem("7.03") + cw_log_frequency_problem(""), "");
    EXPECT_EQ(cw_log_frequency_string(0) + cw_log_frequency_string(1.0 / 0.0), "");
    for (const char* typed : {" 7.03 ", "7030000"})
        EXPECT_EQ(cw_log_prepared_frequency_text(typed), "7.030000") << typed;
    EXPECT_EQ(cw_log_prepared_frequency_text(" 14074 "), "14074");  // left for the operator to fix
}

TEST(CWLogValidation, NamesTheMissingFieldsInOrderAndExplainsARefusedQrg)
{
    const CW_LOG_REQUIRED_VALUES complete = {"DL1ABC", "7.030000", "599", "599", "QQ0QQ", "JN36"};
    EXPECT_TRUE(cw_missing_log_fields(complete).empty() && cw_missing_log_fields_text(complete).empty());
    CW_LOG_REQUIRED_VALUES values = complete;
    values.call = " ", values.rstRcvd = "";
    EXPECT_EQ(cw_missing_log_fields_text(values), "Missing required field(s): CALL, RST-R");
    EXPECT_EQ(cw_missing_log_fields(CW_LOG_REQUIRED_VALUES{}),
              (std::vector<std::string>{"CALL", "QRG", "RST-S", "RST-R", "STATION CALLSIGN", "MY GRID"}));
    values = complete;
    values.freq = "14074.0";
    EXPECT_EQ(cw_missing_log_fields_text(values),
              "Missing required field(s): QRG\n\n" + cw_log_frequency_problem("14074.0"));
    values.freq = "nan";
    EXPECT_EQ(cw_missing_log_fields(values), std::vector<std::string>{"QRG"});
}

TEST(CWLogDialog, StationLineFromTheStoreAndTheUtcStamp)
{
    MapStore store;
    store.values = {{"CWMacroSetupCallsign", " qq0qq "}, {"CWMacroSetupLoc", "jn36"}};
    EXPECT_EQ(cw_log_station_line(cw_log_station(store)), "Station: QQ0QQ    MY GRID: JN36    MODE: CW");
    const CW_UTC_STAMP stamp = cw_utc_stamp(1704164645);  // 2024-01-02 03:04:05 UTC
    EXPECT_EQ(stamp.date + " " + stamp.time, "20240102 030405");
}
