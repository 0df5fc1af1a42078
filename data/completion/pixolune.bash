# bash completion for pixolune: options, the keywords of keyword options,
# folders and folders for -o, documents, folders and lists for inputs.
# Every console option of the program's option table is named here;
# tests/install_files_test.cpp checks it.

_pixolune_options="-i --input -o --output -c --conversion --null --window
  -h -? --help -v --version -q --quiet -d --debug -p --pause --progress --no-progress
  --profile --jobs --render-layers
  --png-bpp --png-compression --png-interlaced --strip-metadata --psd-color-model
  --rotation --rotation-type --rotation-back-color --width --height --width-unit --height-unit
  --keep-aspect-ratio --fit --resize-type --resize-algorithm --flip-horizontal --flip-vertical
  --brightness --contrast --gamma --invert --greyscale --threshold
  --fr-solid-left --fr-solid-right --fr-solid-top --fr-solid-bottom
  --fr-solid-left-color --fr-solid-right-color --fr-solid-top-color --fr-solid-bottom-color
  --fr-solid-opacity
  --wm-text --wm-font --wm-font-size --wm-font-leading --wm-font-style --wm-font-effect
  --wm-font-color --wm-back-color --wm-text-opacity --wm-back-opacity --wm-text-antialiasing
  --wm-text-alignment --wm-text-padding --wm-image --wm-image-greyscale --wm-image-opacity
  --wm-text-position --wm-image-position --wm-text-boundary --wm-image-boundary
  --wm-text-x-offset --wm-text-y-offset --wm-image-x-offset --wm-image-y-offset
  --wm-text-rotation --wm-image-rotation --wm-text-size --wm-image-size
  --filename-mask --file-timestamp --file-timestamp-custom --no-subfolders
  --export --export-bounds --export-hidden --export-depth --export-manifest"

# The keywords of option $1 (lower case), or nothing.
_pixolune_keywords() {
  case "${1,,}" in
    -c|--conversion) echo "png" ;;
    --png-compression) echo "none zlib1 zlib6 zlib9" ;;
    --psd-color-model) echo "rgb cmyk lab" ;;
    --rotation-type) echo "simple advanced" ;;
    --width-unit|--height-unit) echo "pixels percent" ;;
    --resize-type) echo "allimages largeimages" ;;
    --resize-algorithm) echo "box bilinear bspline bicubic catmullrom lanczos" ;;
    --wm-font-style) echo "regular bold italic bolditalic" ;;
    --wm-font-effect) echo "none underline strikethrought" ;;
    --wm-text-alignment) echo "left center right" ;;
    --wm-text-boundary|--wm-image-boundary) echo "image frame" ;;
    --wm-text-position|--wm-image-position) echo "topleft topcenter topright middleleft middlecenter middleright bottomleft bottomcenter bottomright" ;;
    --wm-text-size|--wm-image-size) echo "fixed" ;;
    --file-timestamp) echo "current original custom" ;;
    --export) echo "document layers groups comps" ;;
    --export-bounds) echo "layer canvas" ;;
    --png-bpp) echo "0 1 4 8 24 32 48" ;;
  esac
}

# Documents, list files and folders.
_pixolune_inputs() {
  local IFS=$'\n'
  COMPREPLY=($(compgen -d -- "$1") $(compgen -f -X '!*.[pP][sS][dD]' -- "$1")
             $(compgen -f -X '!*.[tT][xX][tT]' -- "$1") $(compgen -f -X '!*.[lL][sS][tT]' -- "$1"))
  compopt -o filenames 2>/dev/null
}

_pixolune() {
  local cur=${COMP_WORDS[COMP_CWORD]} option=""
  # "--name=value" reaches us as "--name" "=" "value" ("=" breaks words).
  if [[ $cur == "=" ]]; then
    option=${COMP_WORDS[COMP_CWORD-1]}
    cur=""
  elif [[ $COMP_CWORD -ge 2 && ${COMP_WORDS[COMP_CWORD-1]} == "=" ]]; then
    option=${COMP_WORDS[COMP_CWORD-2]}
  elif [[ $COMP_CWORD -ge 1 ]]; then
    option=${COMP_WORDS[COMP_CWORD-1]}
  fi
  case "${option,,}" in
    -i|--input) _pixolune_inputs "$cur"; return ;;
    -o|--output) COMPREPLY=($(compgen -d -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
    --profile|--wm-image) COMPREPLY=($(compgen -f -- "$cur")); compopt -o filenames 2>/dev/null; return ;;
    --jobs|--rotation|--rotation-back-color|--width|--height|--fit|--brightness|--contrast|--gamma|\
    --threshold|--fr-solid-left|--fr-solid-right|--fr-solid-top|--fr-solid-bottom|--fr-solid-left-color|\
    --fr-solid-right-color|--fr-solid-top-color|--fr-solid-bottom-color|--fr-solid-opacity|--wm-text|\
    --wm-font|--wm-font-size|--wm-font-leading|--wm-font-color|--wm-back-color|--wm-text-opacity|\
    --wm-back-opacity|--wm-text-padding|--wm-image-opacity|--wm-text-x-offset|--wm-text-y-offset|\
    --wm-image-x-offset|--wm-image-y-offset|--wm-text-rotation|--wm-image-rotation|--filename-mask|\
    --file-timestamp-custom|--export-depth)
      return ;;  # Free values: nothing to offer.
  esac
  local keywords
  keywords=$(_pixolune_keywords "$option")
  if [[ -n $keywords ]]; then
    COMPREPLY=($(compgen -W "$keywords" -- "${cur,,}"))
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$_pixolune_options" -- "$cur"))
    return
  fi
  _pixolune_inputs "$cur"
}

complete -F _pixolune pixolune
