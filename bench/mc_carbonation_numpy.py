#!/usr/bin/python3
"""The carbonation sheet's reliability analysis as a vectorised numpy script: the yardstick of
the reliability benchmark (bench/mc_bench.cpp, BM_CarbonationMonteCarloOneCore).

Same model (carbonation coefficient on the CO2 path, corrected cover, residual, initiation
time, pre-cracking rate, propagation with the slope 340, plain round bar), same default scatter
(environment lognormal CoV 0.5, temperature sd 2 K, humidity CoV 0.05, strength lognormal CoV
0.15, cover sd 8 mm, CO2 coefficient CoV 0.12, the samples keeping the sheet's values as their
means: each the law the program fits, truncated to its box's range by the inverse distribution
function), same summary (percentiles 5/50/95 % of t_i, t_c, t_d and the remaining
life, P(t <= age) on 101 ages, the age at which beta falls below 1.3).

numpy has no normal quantile: the script evaluates Wichura's AS 241 vectorised, like the
program. Run with Debian's python3-numpy (a comparison tool, not a dependency of the project):
    /usr/bin/python3 bench/mc_carbonation_numpy.py [samples]   (default 10^6)
It prints the CPU seconds (process time, so that other work on the machine does not change
them) and samples per second of the best of three runs; numpy runs these operations on one core.
"""
import math
import sys
import time

import numpy as np

A = [3.3871328727963666080e0, 1.3314166789178437745e2, 1.9715909503065514427e3,
     1.3731693765509461125e4, 4.5921953931549871457e4, 6.7265770927008700853e4,
     3.3430575583588128105e4, 2.5090809287301226727e3]
B = [1.0, 4.2313330701600911252e1, 6.8718700749205790830e2, 5.3941960214247511077e3,
     2.1213794301586595867e4, 3.9307895800092710610e4, 2.8729085735721942674e4,
     5.2264952788528545610e3]
C = [1.42343711074968357734e0, 4.63033784615654529590e0, 5.76949722146069140550e0,
     3.64784832476320460504e0, 1.27045825245236838258e0, 2.41780725177450611770e-1,
     2.27238449892691845833e-2, 7.74545014278341407640e-4]
D = [1.0, 2.05319162663775882187e0, 1.67638483018380384940e0, 6.89767334985100004550e-1,
     1.48103976427480074590e-1, 1.51986665636164571966e-2, 5.47593808499534494600e-4,
     1.05075007164441684324e-9]
E = [6.65790464350110377720e0, 5.46378491116411436990e0, 1.78482653991729133580e0,
     2.96560571828504891230e-1, 2.65321895265761230930e-2, 1.24266094738807843860e-3,
     2.71155556874348757815e-5, 2.01033439929228813265e-7]
F = [1.0, 5.99832206555887937690e-1, 1.36929880922735805310e-1, 1.48753612908506148525e-2,
     7.86869131145613259100e-4, 1.84631831751005468180e-5, 1.42151175831644588870e-7,
     2.04426310338993978564e-15]


def poly(coefficients, x):
    y = np.full_like(x, coefficients[-1])
    for c in reversed(coefficients[:-1]):
        y = y * x + c
    return y


def ndtri(p):
    q = p - 0.5
    z = np.empty_like(p)
    central = np.abs(q) <= 0.425
    r = 0.180625 - q[central] ** 2
    z[central] = q[central] * poly(A, r) / poly(B, r)
    tail = ~central
    r = np.sqrt(-np.log(np.where(q[tail] < 0, p[tail], 1 - p[tail])))
    near = r <= 5
    zt = np.where(near, poly(C, r - 1.6) / poly(D, r - 1.6), poly(E, r - 5) / poly(F, r - 5))
    z[tail] = np.where(q[tail] < 0, -zt, zt)
    return z


def ndtr(x):
    return 0.5 * math.erfc(-x / math.sqrt(2))


def truncated(u, mean, sd, lo, hi, lognormal):
    if lognormal:
        s = math.sqrt(math.log1p((sd / mean) ** 2))
        m = math.log(mean) - 0.5 * s * s
        flo, fhi = ndtr((math.log(lo) - m) / s), ndtr((math.log(hi) - m) / s)
        x = np.exp(m + s * ndtri(flo + u * (fhi - flo)))
    else:
        flo, fhi = ndtr((lo - mean) / sd), ndtr((hi - mean) / sd)
        x = mean + sd * ndtri(flo + u * (fhi - flo))
    return np.clip(x, lo, hi)


def run(n, rng):
    u = rng.random((6, n))
    # The laws before truncation that the program samples so that the samples keep the sheet's
    # values as their means with the default scatter (TruncatedLaw::fitted; mean, deviation).
    m = truncated(u[0], 0.656930112, 1.45366449, 1.0, 5.5, True)     # environment, CoV 0.5
    T = truncated(u[1], 14.9999998, 2.00000059, 4.0, 30.0, False)    # temperature, sd 2 K
    RH = truncated(u[2], 0.7, 0.035, 0.4, 1.0, False)                # humidity, CoV 0.05
    fcu = truncated(u[3], 30.0053152, 4.51249939, 10.0, 50.0, True)  # strength, CoV 0.15
    c = truncated(u[4], 29.9889009, 8.01870791, 3.0, 90.0, False)    # cover, sd 8 mm
    kco2 = truncated(u[5], 1.49824886, 0.182415924, 1.0, 3.5, False)  # CO2 coefficient, CoV 0.12
    t, d = 60.0, 20.0
    Ks, Kr, Kw = 1.4, 1.6, 1.1                          # plain round bar, outdoor
    k = 3 * kco2 * Ks * 1.2 * Kw * T ** 0.25 * RH ** 1.5 * (1 - RH) * (58 / fcu - 0.76)
    cp = np.where(c <= 28, c, c + 0.066 * np.abs(c - 28) ** (0.47 * np.minimum(k, 3.3)))
    x0 = (1.2 - 0.35 * np.sqrt(k)) * cp - 6 * (1.5 + 0.84 * k) / (m + 1.6)
    ti = ((c - x0) / k) ** 2
    base = np.minimum(RH, 0.8) - 0.45
    lam0 = 7.53 * Kr * m * (0.75 + 0.0125 * T) * base ** (2 / 3) * fcu ** -1.8 * c ** -0.675
    dcr = 0.012 * c / d + 0.00084 * fcu + 0.018
    tc = ti + dcr / lam0
    lam1 = np.maximum(4.5 - 340 * lam0, 1.8) * lam0
    dd = np.minimum(0.012 * c / d + 0.00084 * fcu + 0.255, 0.026 * d)
    td = tc + (dd - dcr) / lam1
    td = np.where(dcr >= 0.3, ti + 0.3 / lam0, td)  # 0.026 d > 0.3 for d = 20
    # Summary.
    out = {}
    for name, v in (("ti", ti), ("tc", tc), ("td", td), ("remaining", np.maximum(0, td - t))):
        s = np.sort(v)
        out[name] = np.percentile(s, [5, 50, 95])
        if name != "remaining":
            ages = np.linspace(0, 200, 101)
            p = np.searchsorted(s, ages, side="right") / n
            kth = int(math.floor(0.0968 * n)) + 1
            out[name + "_curve"] = (p, s[kth - 1])
    return out


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    rng = np.random.default_rng(1)
    best = float("inf")
    for _ in range(3):
        start = time.process_time()
        out = run(n, rng)
        best = min(best, time.process_time() - start)
    print(f"numpy {np.__version__}: {n} carbonation samples in {best:.3f} s of CPU, "
          f"{n / best:.3g} samples/s; median t_i {out['ti'][1]:.2f} a, t_d {out['td'][1]:.2f} a")


if __name__ == "__main__":
    main()
