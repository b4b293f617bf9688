# Throwaway Wine prefixes for the scripts that run the Linux build (sourced):
# a registry file and drive_c, no Wine needed. The caller sets root (a
# scratch folder) and fixture (archive_fixture), or has take_arguments set
# them.

# take_arguments MESUPDATE ARCHIVE_FIXTURE RESOURCES_DIR: the usual arguments
# of these scripts; sets mesupdate, fixture, resources, mesarc (beside
# mesupdate) and root (a new scratch folder, the caller's to remove).
take_arguments() {
  mesupdate=$1
  fixture=$2
  resources=$3
  mesarc=$(dirname "$mesupdate")/mesarc
  root=$(mktemp -d)
}

# A prefix whose registry holds InstPath (given as Wine writes it, escaped)
# under the key a 32-bit program reads. Sets: prefix, game (host folder).
# make_prefix NAME ARCH INSTPATH_ESCAPED GAME_SUBDIR [KEY]
make_prefix() {
  local name=$1 arch=$2 value=$3 subdir=$4
  local key=${5:-Software\\\\velk\\\\MIRKAN}
  prefix=$root/$name
  game=$prefix/drive_c/$subdir
  mkdir -p "$game" "$prefix/dosdevices"
  ln -s ../drive_c "$prefix/dosdevices/c:"
  {
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=%s\n\n' "$arch"
    printf '[Software\\\\Wine] 1733550000\n#time=1db48a1f2c3d4e5\n"Version"="8.0"\n\n'
    if [ -n "$value" ]; then
      printf '[%s] 1733550000\n#time=1db48a1f2c3d4e5\n"InstPath"="%s"\n' "$key" "$value"
    fi
  } >"$prefix/system.reg"
}

# A sample archive with two of the five names among others.
make_archive() {
  "$fixture" make "$1" SYSTEM.MES:1200 T27C.MES:5000 C_TALK01.MES:777 T09C.MES:64 \
    EMPTY.MES:0 T10A.MES:3000
}

