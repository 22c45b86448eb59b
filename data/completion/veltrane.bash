# bash completion for veltrane                                       -*- shell-script -*-
#
# The first word is an option or the MPO file to split; after the file of a split come a folder
# or the mode words odd and even. Files are offered .mpo first, then folders.

# Adds the files of the current word that match one of the given extensions (any letter case),
# then the folders.
_veltrane_files() {
    local cur=$1 item ext
    shift
    local wanted=" $* " IFS=$'\n'
    compopt -o filenames -o nosort 2>/dev/null
    for item in $(compgen -f -- "$cur"); do
        [[ -d $item || $item != *.* ]] && continue
        ext=${item##*.}
        [[ $wanted == *" ${ext,,} "* ]] && COMPREPLY+=("$item")
    done
    _veltrane_folders "$cur"
}

# Adds the folders of the current word (names with blanks stay whole).
_veltrane_folders() {
    local IFS=$'\n'
    compopt -o filenames -o nosort 2>/dev/null
    COMPREPLY+=($(compgen -d -- "$1"))
}

_veltrane() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options='--help --version --list --parts --mpf --no-mpf --decode --exif --info --tags --iptc --json
        --image --each --stereo --layout --anaglyph --pair --align --keystone --parallax --swap --delay --max-size --quality
        --baseline --fov --disparity
        --join --type --repair --remove-video --transform --crop --perfect --force --register-context-menu
        --unregister-context-menu'
    COMPREPLY=()

    # The words typed so far, without the options that may precede a command ("--no-mpf", and
    # "--json" and "--image N" of the metadata commands).
    local words=() i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --no-mpf | --json | --decode) ;;
            --image) ((i++)) ;;
            *) words+=("${COMP_WORDS[i]}") ;;
        esac
    done

    case $prev in
        --layout)
            COMPREPLY=($(compgen -W 'cross parallel anaglyph over-under half-sbs half-ou interlaced wiggle mpo heic' -- "$cur"))
            return ;;
        --anaglyph)
            COMPREPLY=($(compgen -W 'dubois amber-blue green-magenta gray color half-color optimized' -- "$cur"))
            return ;;
        --parallax | --delay | --max-size | --image | --quality | --baseline | --fov | --disparity) return ;;
        -@) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --pair) COMPREPLY=($(compgen -W '1,2 2,1 3,4' -- "$cur")); return ;;
        --align)
            # "--align full", or --align alone before a file.
            if [[ ${words[0]} == --stereo && $cur != -* ]]; then
                COMPREPLY=($(compgen -W 'full' -- "$cur"))
                _veltrane_files "$cur" mpo jpg jpeg jps heic heif png gif webp
                return
            fi ;;
        --type) COMPREPLY=($(compgen -W 'disparity multi-angle panorama' -- "$cur")); return ;;
        --transform)
            COMPREPLY=($(compgen -W 'rotate90 rotate180 rotate270 flip-h flip-v transpose transverse auto crop' -- "$cur"))
            return ;;
        --crop) return ;;
        --register-context-menu) COMPREPLY=($(compgen -W 'odd even' -- "$cur")); return ;;
        --unregister-context-menu | --help | -h | --version) return ;;
    esac

    if ((${#words[@]} == 0)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$options" -- "$cur"))
        else
            _veltrane_files "$cur" mpo
        fi
        return
    fi

    # The metadata commands take any number of files, and their options.
    if [[ $cur == -* ]]; then
        case ${words[0]} in
            --list | --parts | --mpf | --iptc) COMPREPLY=($(compgen -W '--json -@ --' -- "$cur")); return ;;
            --exif | --info | --tags) COMPREPLY=($(compgen -W '--json --image -@ --' -- "$cur")); return ;;
        esac
    fi
    case ${words[0]} in
        --list | --mpf) _veltrane_files "$cur" mpo ;;
        --parts) _veltrane_files "$cur" mpo jpg jpeg heic heif ;;
        --exif | --info | --tags) _veltrane_files "$cur" mpo jpg jpeg jpe tif tiff nef heic heif ;;
        --iptc) _veltrane_files "$cur" jpg jpeg jpe mpo ;;
        --each)
            if ((${#words[@]} == 1)); then
                COMPREPLY=($(compgen -W 'odd even' -- "$cur"))
            fi
            _veltrane_files "$cur" mpo ;;
        --stereo)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--layout --anaglyph --pair --align --keystone --parallax --swap --delay --max-size --quality --each' -- "$cur"))
            else
                _veltrane_files "$cur" mpo jpg jpeg jps heic heif png gif webp
            fi ;;
        --join)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--type' -- "$cur"))
            else
                _veltrane_files "$cur" mpo jpg jpeg jpe
            fi ;;
        --repair) ((${#words[@]} <= 2)) && _veltrane_files "$cur" mpo jpg jpeg ;;
        --remove-video) ((${#words[@]} <= 2)) && _veltrane_files "$cur" jpg jpeg ;;
        --transform)
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--crop --perfect --force' -- "$cur"))
            else
                _veltrane_files "$cur" mpo jpg jpeg jpe
            fi ;;
        -*) ;;
        *)
            # FILE [FOLDER | odd | even] [odd | even | WORD]
            if ((${#words[@]} <= 2)); then
                COMPREPLY=($(compgen -W 'odd even' -- "$cur"))
                ((${#words[@]} == 1)) && _veltrane_folders "$cur"
            fi ;;
    esac
}
complete -F _veltrane veltrane
