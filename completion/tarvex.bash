# bash completion for tarvex and tarvex-shard                   -*- shell-script -*-
#
# Completes the long options, file names after the options that name a file, and directories
# after --dir. Both ways of giving a value work: "--dir=DIR" and "--dir DIR". tarvex-shard
# takes tarvex's options and its own. Needs nothing but bash itself; the bash-completion package
# loads it on demand from share/bash-completion/completions/tarvex (and, as a copy, tarvex-shard).

# The options, in the order of the usage text; those that take a value end in "=".
_tarvex_options=(--verbose --cidrfile= --asnfile= --or --update= --startdate= --enddate=
  --dir= --outfile= --file= --help)
_tarvex_shard_options=(--engine= --jobs= --sshlogin= --sbatch-option= --detach --workdir=
  --keep-workdir --list-days --tarvex=)

# Puts the completions of a value of option $1, starting with $2, into COMPREPLY.
_tarvex_value() {
  local option=$1 cur=$2
  case $option in
    --dir | --workdir)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      ;;
    --engine)
      mapfile -t COMPREPLY < <(compgen -W "local parallel slurm" -- "$cur")
      ;;
    --cidrfile | --asnfile | --update | --file | --outfile | --tarvex)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      ;;
    --startdate | --enddate)
      # A date has no list to choose from; today's date is a start.
      mapfile -t COMPREPLY < <(compgen -W "$(date +%Y%m%d)" -- "$cur")
      ;;
    *)
      COMPREPLY=()
      ;;
  esac
}

_tarvex() {
  COMPREPLY=()
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=""
  local before=""
  if ((COMP_CWORD > 0)); then prev=${COMP_WORDS[COMP_CWORD - 1]}; fi
  if ((COMP_CWORD > 1)); then before=${COMP_WORDS[COMP_CWORD - 2]}; fi

  # With "=" among the word breaks (bash's default), "--dir=/tm" reaches us as the three words
  # "--dir", "=", "/tm", and "--dir=" as "--dir", "=" with "=" as the current word; readline
  # then replaces only the text after the "=".
  if [[ $cur == "=" && $prev == --* ]]; then
    _tarvex_value "$prev" ""
    return 0
  fi
  if [[ $prev == "=" && $before == --* ]]; then
    _tarvex_value "$before" "$cur"
    return 0
  fi

  # Without "=" among the word breaks the option and its value form one word; the completions
  # must then carry the option in front.
  if [[ $cur == --*=* ]]; then
    local option=${cur%%=*}
    _tarvex_value "$option" "${cur#*=}"
    local i
    for i in "${!COMPREPLY[@]}"; do COMPREPLY[i]="$option=${COMPREPLY[i]}"; done
    return 0
  fi

  # "--dir /tmp": the value as the next word.
  case $prev in
    --cidrfile | --asnfile | --update | --file | --outfile | --dir | --startdate | --enddate | \
      --engine | --workdir | --tarvex | --jobs | --sshlogin | --sbatch-option)
      _tarvex_value "$prev" "$cur"
      return 0
      ;;
  esac

  # tarvex ignores every argument that is not an option, so only options are offered.
  if [[ -z $cur || $cur == -* ]]; then
    local options=("${_tarvex_options[@]}")
    if [[ ${COMP_WORDS[0]##*/} == tarvex-shard ]]; then
      options+=("${_tarvex_shard_options[@]}")
    fi
    mapfile -t COMPREPLY < <(compgen -W "${options[*]}" -- "$cur")
    # No space after "--dir=": its value follows directly.
    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then
      compopt -o nospace 2>/dev/null
    fi
  fi
  return 0
}

complete -F _tarvex tarvex tarvex-shard
