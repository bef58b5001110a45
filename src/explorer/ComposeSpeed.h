#pragma once
// How fast this machine composes, measured rather than assumed, so the
// question before long work is asked where the work would really be long.
namespace sorvelin {

struct ComposeSpeed {
    // Escape-time iterations per second of the sampler on all cores.
    double IterationsPerSecond = 0.0;
    // What each sample costs beyond its iterations (its point, its place in
    // the table, the hand-over between threads).
    double SecondsPerSample = 0.0;
    // The cores the speed was measured on.
    int Cores = 1;
};

// Runs the sampler on a short line inside the set (some tens of
// milliseconds): every sample then iterates to the limit.
ComposeSpeed MeasureComposeSpeed();
// MeasureComposeSpeed() once per process.
const ComposeSpeed& MachineComposeSpeed();

// Work of `samples` samples (16 parts of the same note count) at up to
// `limit` iterations each plus `pixels` picture pixels drawn at the same
// limit, in seconds at `speed`, the samples on as many cores as their units
// of SampleUnitNotes notes can keep busy.
double EstimatedSeconds(const ComposeSpeed& speed, long long samples, long long pixels,
                        long long limit);

} // namespace sorvelin
