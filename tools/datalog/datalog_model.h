#pragma once

// A made-up engine and its logger, for logs of our own making: the samples' datalog, the
// correction's tests and its benchmark. No real engine or logger is described.
//
// The car has the fitted meter; the box turns its signal x into the output the table gives
// (entries interpolated in a straight line between input steps of 0.1875 V); the engine
// computer reads that output as the expected meter's signal, and its fuel trims make up for the
// difference between the air it thinks it sees and the air that really flows.

#include <QString>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace varnel::datalog {

// xorshift64*: the same numbers on every machine, unlike the standard distributions.
struct Random {
    uint64_t state;
    double uniform();
    // About normal with standard deviation 1 (a sum of twelve uniforms), made of nothing but
    // additions, so a log comes out the same wherever it is made.
    double normal();
};

// A meter's response, points ascending by signal; interpolated in straight lines and held at
// its end points.
struct Curve {
    std::vector<double> signal;
    std::vector<double> flow;
    double flowAt(double s) const;
    double signalAt(double f) const;
};

// A meter file's points, flows times flowScale (0.454 turns pounds into kilograms as the match
// does). False, with the reason in error, for a file that cannot be read or a text that is no
// number.
bool ReadCurve(const QString& path, double flowScale, Curve& curve, QString& error);

struct EngineModel {
    Curve fitted;    // the meter in the car, flows in the expected meter's unit
    Curve expected;  // the meter the engine computer was calibrated for
    std::array<uint16_t, 33> table{};
    bool frequency = false;
    // The air really flowing at input x is the fitted meter's flow there times 1 + error / 100;
    // the error, in percent, runs in a straight line from errorLow at inputLow to errorHigh at
    // inputHigh. The logged inputs lie between the two.
    double errorLow = 0;
    double errorHigh = 0;
    double inputLow = 1.0;
    double inputHigh = 4.6;

    double output(double x) const;
    double trueFlow(double x) const;
    // The trim (percent) that makes the engine computer's flow the true one, held to +-25 as
    // engine computers hold theirs.
    double trim(double x) const;
    // The air that really flows over the air the engine computer sees: with no trim to make up
    // for it, the mixture comes out this much leaner than commanded.
    double flowRatio(double x) const;
};

struct LogShape {
    long rows = 3000;
    uint64_t seed = 1;
    double noise = 1.0;    // the short-term trim's scatter (percent, about one standard deviation)
    double warmUp = 0.1;   // the share of rows logged while the engine warms up: no trims then
    int dropoutEvery = 0;  // every n-th row loses its short-term trim (0: none)
    // When set, a last column of this name with nothing in it: the log says what it is where
    // a reader of it looks first.
    std::string note;
    bool decimalComma = false;  // semicolons between the fields, decimal commas in the numbers
    // Open loop above this input (volts; 0: never): the engine computer commands openLoopAfr,
    // its short-term trim rests at 0 and its long-term trim keeps what it learned at the edge of
    // closed loop, so the flow's error shows only in the mixture. (The warm-up is open loop too,
    // at 13.2, with no trims at all.)
    double openLoopAbove = 0;
    double openLoopAfr = 12.5;
    // Log a wideband's AFR and the commanded AFR ("AFR", "Target AFR") after the coolant; its
    // reading scatters by widebandNoise percent and shows the mixture of widebandLag rows before.
    bool wideband = false;
    double widebandNoise = 0.3;
    int widebandLag = 0;
};

// The log: a header line, "Time s,RPM,"MAF V","STFT %","LTFT %",ECT C" ("MAF Hz" for a
// frequency table; then ",AFR,"Target AFR"" with a wideband), then the rows, ten a second, with
// '.' as the decimal point whatever the locale (or ';' and ',' with decimalComma).
bool WriteLog(std::FILE* out, const EngineModel& model, const LogShape& shape);
// The same into a file of that name.
bool WriteLogFile(const QString& path, const EngineModel& model, const LogShape& shape);

}  // namespace varnel::datalog
