# Reads an EDF+ file with MNE, a reader that is not Sphyra's, and prints what it
# found as plain lines for the test to compare:
#   signal <label> <rate> <value> <value> ...
#   annotation <onset_s> <duration_s> <description>
import sys

import mne

raw = mne.io.read_raw_edf(sys.argv[1], preload=True, verbose="error")
data = raw.get_data()
with open(sys.argv[2], "w", encoding="utf-8") as out:
    for name, values in zip(raw.ch_names, data):
        out.write("signal %s %g %s\n" % (name.replace(" ", "_"), raw.info["sfreq"],
                                          " ".join(str(int(round(v))) for v in values)))
    for a in raw.annotations:
        out.write("annotation %.4f %.4f %s\n" % (a["onset"], a["duration"], a["description"]))
