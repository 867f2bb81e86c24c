# bash completion for corvane. Commands and options are read from the tool's
# own help texts, so a new option completes without a change here.

_corvane_commands() {
  "$1" help 2>/dev/null | sed -n '/^Commands:/,/^$/{s/^  \([a-z][a-z-]*\).*/\1/p}' | sort -u
}

_corvane_options() {
  "$1" "${@:2}" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u
}

_corvane() {
  local tool=${COMP_WORDS[0]} current=${COMP_WORDS[COMP_CWORD]}
  local previous=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  if ((COMP_CWORD == 1)); then
    mapfile -t COMPREPLY < <(compgen -W "$(_corvane_commands "$tool") --help --version" -- "$current")
    return
  fi
  local command=${COMP_WORDS[1]}
  case $previous in
    --module) mapfile -t COMPREPLY < <(compgen -f -- "$current"); return ;;
    --registry) mapfile -t COMPREPLY < <(compgen -d -- "$current"); return ;;
    --junit | --html) mapfile -t COMPREPLY < <(compgen -f -- "$current"); return ;;
  esac
  if [[ $command == help ]]; then
    ((COMP_CWORD == 2)) && mapfile -t COMPREPLY < <(compgen -W "$(_corvane_commands "$tool")" -- "$current")
    return
  fi
  local words=("$command")
  if [[ $command == template ]]; then
    if ((COMP_CWORD == 2)); then
      mapfile -t COMPREPLY < <(compgen -W "check render" -- "$current")
      return
    fi
    words+=("${COMP_WORDS[2]}")
  fi
  if [[ $current == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_corvane_options "$tool" "${words[@]}")" -- "$current")
  elif [[ $command == run || $command == check ]]; then
    mapfile -t COMPREPLY < <(compgen -f -X '!*.json' -- "$current"; compgen -d -- "$current")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$current")
  fi
}

complete -o filenames -F _corvane corvane
