#!/usr/bin/env bash
# Checks the dynamic symbol table of the shared library against the export rule: every symbol
# it defines belongs to the package (kelvor::jdbc::kelcore), to the driver or platform
# stand-ins its API is written in (kelvor::jdbc, kelvor::lang: functions, data, vtables, type
# information, thunks), to the binding's call runtime (kelvor::binding), or is one of the binding's entry functions; the entry functions number
# exactly as many as expected; and what callers rely on across the boundary is there.
#   exported-symbols.sh LIBRARY EXPECTED_ENTRY_FUNCTIONS
set -euo pipefail
lib=$1
entries_expected=$2

mapfile -t raw < <(nm -D --defined-only "$lib" | awk '{print $3}')
mapfile -t names < <(printf '%s\n' "${raw[@]}" | c++filt)

# A function template's demangled name starts with its return type: "void kelvor::lang::...".
# The return type must be complete before " kelvor::" (no open template argument list, no
# parameter list), so that std::pair<int, kelvor::...>::f() is not taken for one.
templateInRule() {
  [[ $1 =~ \ kelvor::(jdbc|lang|binding):: ]] || return 1
  local prefix=${1%%" kelvor::"*}
  local opens=${prefix//[^<]/} closes=${prefix//[^>]/}
  [[ $prefix != *"("* && ${#opens} -eq ${#closes} ]]
}

status=0
entries=0
declare -A present=()
for i in "${!raw[@]}"; do
  symbol=${raw[$i]}
  name=${names[$i]}
  present[$name]=1
  if [[ $symbol =~ ^jtcentry_e2b24ceb2b_kelvor_jdbc_kelcore_[A-Za-z0-9_]+$ ]]; then
    entries=$((entries + 1))
    continue
  fi
  stripped=${name#"typeinfo name for "}
  stripped=${stripped#"typeinfo for "}
  stripped=${stripped#"vtable for "}
  stripped=${stripped#"VTT for "}
  stripped=${stripped#"non-virtual thunk to "}
  stripped=${stripped#"virtual thunk to "}
  if [[ ! $stripped =~ ^(const\ )?kelvor::(jdbc|lang|binding):: ]] && ! templateInRule "$stripped"; then
    echo "exported outside the rule: $name ($symbol)"
    status=1
  fi
done

if ((entries != entries_expected)); then
  echo "entry functions: $entries exported, $entries_expected expected"
  status=1
fi

# Across the boundary: exceptions are caught by type, descriptors and values are created and
# called through their vtables, images are written with the package's own classes.
required=(
  "typeinfo for kelvor::jdbc::DriverException"
  "typeinfo for kelvor::lang::IndexOutOfBoundsException"
  "vtable for kelvor::jdbc::kelcore::KelvorTypeADT"
  "vtable for kelvor::jdbc::MemoryConnection"
  "kelvor::jdbc::kelcore::PickleContext::writeLength(int)"
  "kelvor::jdbc::ObjectDescriptor::createDescriptor(std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> > const&, kelvor::jdbc::Connection*)"
)
for name in "${required[@]}"; do
  if [[ -z ${present[$name]:-} ]]; then
    echo "not exported: $name"
    status=1
  fi
done

echo "${#raw[@]} symbols exported ($entries entry functions)"
exit $status
